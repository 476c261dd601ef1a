#include "FakeModem.h"
#include "TempDir.h"
#include "TestSupport.h"
#include "WMBH_AES.h"
#include "WMBH_UpdateEndpoint.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::HasSubstr;

namespace
{

const char *const kKey = "7C41D09A2E6B35F8A1C94E07B2D6F358";
const char *const kModemLink = "D26A785634120131";
constexpr EndpointAddress kEndpoint = 0x12345678'6AD2'01'07ULL;
const Bytes kDigest = FromHex("0123456789ABCDEFFEDCBA9876543210");
constexpr size_t kBlockData = 26; // offset of the first file byte in a block frame

// A firmware image in a folder of its own, removed again afterwards: ctest runs the tests of this
// file side by side, so a path shared between two of them would let one delete the other's image.
class FirmwareFile
{
public:
    explicit FirmwareFile(size_t size)
    {
        for (size_t i = 0; i < size; ++i)
            content.push_back(static_cast<uint8_t>(i * 7 + 3));
        path = folder.Write("wmbh_firmware_" + std::to_string(size) + ".bin",
                            std::string(content.begin(), content.end()));
    }

    std::string path;
    Bytes content;

private:
    TempDir folder;
};

void Update(FakeModem &modem, const std::string &path, const std::string &key = "", bool fixDif = true,
            const Bytes &digest = kDigest)
{
    UpdateEndpoint(&modem, kEndpoint, key, path, digest, fixDif, [&modem] { return modem.clock; });
}

std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

// A frame as the module receives it: L, C 0x73, the modem's address, CI 0xA4 to the endpoint, the
// access number it drew, status and configuration word 0, 2F 2F, then `tail`.
Bytes FirmwareFrame(const Bytes &wire, const Bytes &tail)
{
    Bytes expected = Concat({static_cast<uint8_t>(wire.size() - 1)}, FromHex(std::string("73") + kModemLink));
    expected = Concat(expected, FromHex("A4 78563412D26A0107"));
    expected.push_back(wire.size() > 19 ? wire[19] : 0);
    return Concat(Concat(expected, FromHex("00 0000 2F2F")), tail);
}

} // namespace

TEST(UpdateEndpoint, SendsTheImageInBlocksThenClosesTheTransfer)
{
    struct Case
    {
        size_t size;
        std::vector<size_t> blocks;
        std::vector<std::string> sentLines;
    };
    const Case cases[] = {
        {0, {}, {"Sent 0 bytes"}},
        {186, {93, 93}, {"Sent 0 bytes", "Sent 93 bytes", "Sent 186 bytes"}},
        {187, {93, 93, 1}, {"Sent 0 bytes", "Sent 93 bytes", "Sent 186 bytes"}},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.size);
        FirmwareFile file(c.size);
        FakeModem modem;
        LogCapture log;
        Update(modem, file.path);

        std::vector<std::string> expectedLines = {"UpdateEndpoint from " + file.path};
        expectedLines.insert(expectedLines.end(), c.sentLines.begin(), c.sentLines.end());
        expectedLines.push_back("Firmware with " + std::to_string(c.size) + " sent");
        EXPECT_EQ(expectedLines, Lines(log.Text()));

        ASSERT_EQ(c.blocks.size() + 2, modem.mailbox.size());
        size_t offset = 0;
        for (size_t i = 0; i < c.blocks.size(); ++i)
        {
            const Bytes data(file.content.begin() + offset, file.content.begin() + offset + c.blocks[i]);
            EXPECT_EQ(FirmwareFrame(modem.mailbox[i], Concat({0x0F}, data)), modem.mailbox[i]);
            offset += c.blocks[i];
        }
        const Bytes size = {static_cast<uint8_t>(c.size), static_cast<uint8_t>(c.size >> 8), 0, 0};
        const Bytes &closing = modem.mailbox[c.blocks.size()];
        EXPECT_EQ(FirmwareFrame(closing, Concat(Concat(Concat(FromHex("04FF64"), size), FromHex("0DFF61F0")), kDigest)),
                  closing);
        const Bytes &sndNke = modem.mailbox.back();
        ASSERT_EQ(23u, sndNke.size());
        EXPECT_EQ(0x40, sndNke[1]);
        EXPECT_TRUE(modem.direct.empty());
    }
}

TEST(UpdateEndpoint, FirstVersionModulesGetTheSizeAfterDif03)
{
    FirmwareFile file(10);
    FakeModem modem;
    Update(modem, file.path, "", false);
    ASSERT_EQ(3u, modem.mailbox.size());
    EXPECT_EQ(FromHex("03FF640A000000"), Bytes(modem.mailbox[1].begin() + 25, modem.mailbox[1].begin() + 32));
}

TEST(UpdateEndpoint, EncryptedBlocksDecryptToTheImage)
{
    FirmwareFile file(100);
    FakeModem modem;
    Update(modem, file.path, kKey);
    ASSERT_EQ(4u, modem.mailbox.size());
    // A full block needs no fillers: 2F 2F, 0x0F and 93 bytes are six AES blocks.
    EXPECT_EQ(119u, modem.mailbox[0].size());
    Bytes image;
    for (size_t i = 0; i < 2; ++i)
    {
        const Bytes received = Concat({0x68}, modem.mailbox[i]);
        uint8_t out[256];
        int outLength = sizeof out;
        std::string error;
        ASSERT_TRUE(DecryptFrame(kKey, received.data(), static_cast<int>(received.size()), out, outLength, error));
        EXPECT_EQ(0x0F, out[kBlockData]);
        image.insert(image.end(), out + kBlockData + 1, out + outLength);
    }
    // The last block carries 7 file bytes and the fillers that complete its AES block.
    EXPECT_EQ(file.content, Bytes(image.begin(), image.begin() + 100));
    EXPECT_EQ(Bytes(image.size() - 100, 0x2F), Bytes(image.begin() + 100, image.end()));
    // The SND-NKE stays plain.
    EXPECT_EQ(0x00, modem.mailbox[3][21]);
}

TEST(UpdateEndpoint, WaitsWhileTheMailboxIsFull)
{
    FirmwareFile file(20);
    FakeModem modem;
    modem.freeAnswers = {0, 0, 0, 4};
    LogCapture log;
    Update(modem, file.path);
    EXPECT_EQ((std::vector<unsigned>{60, 60}), modem.waits);
    EXPECT_EQ((std::vector<std::string>{"UpdateEndpoint from " + file.path, "Sent 0 bytes", "Sent 0 bytes",
                                        "Sent 0 bytes", "Firmware with 20 sent"}),
              Lines(log.Text()));
    EXPECT_EQ(3u, modem.mailbox.size());
}

TEST(UpdateEndpoint, ClosingFrameAndSndNkeEachWaitForAnEntry)
{
    FirmwareFile file(20);
    FakeModem modem;
    // One entry free at a time: the closing frame and the SND-NKE each find the mailbox full and wait.
    modem.freeAnswers = {1, 1, 1};
    LogCapture log;
    Update(modem, file.path);
    EXPECT_EQ((std::vector<unsigned>{60, 60}), modem.waits);
    ASSERT_EQ(3u, modem.mailbox.size());
    EXPECT_EQ(0x40, modem.mailbox.back()[1]);
    EXPECT_THAT(log.Text(), HasSubstr("Firmware with 20 sent"));
}

TEST(UpdateEndpoint, FailuresStopTheTransfer)
{
    FirmwareFile file(50);
    struct Case
    {
        const char *what;
        std::string path;
        std::string key;
        Bytes digest;
        std::deque<uint8_t> freeAnswers;
        uint8_t freeAfter;
        const char *error;
        size_t queued;
    };
    const Case cases[] = {
        {"missing file", file.path + ".missing", "", kDigest, {}, 10, "Can't open firmware file", 0},
        {"directory", ::testing::TempDir(), "", kDigest, {}, 10, "Can't read firmware file", 0},
        {"zero digest", file.path, "", Bytes(16, 0), {}, 10, "Firmware digest missing", 0},
        {"short digest", file.path, "", Bytes(15, 1), {}, 10, "Firmware digest missing", 0},
        {"bad key", file.path, "0011", kDigest, {}, 10, "Wrong key size", 0},
        // The mailbox never frees up: 120 waits of 60 s use up the 7200 s.
        {"mailbox stays full", file.path, "", kDigest, {}, 0, "Update timeout", 0},
        // The closing frame and the SND-NKE wait within the same limit as the blocks.
        {"no room for the closing frame", file.path, "", kDigest, {1}, 0, "Update timeout", 1},
        {"no room for the SND-NKE", file.path, "", kDigest, {2}, 0, "Update timeout", 2},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.what);
        FakeModem modem;
        modem.freeAnswers = c.freeAnswers;
        modem.freeAfter = c.freeAfter;
        LogCapture log;
        EXPECT_EQ(c.error, ErrorOf([&] { Update(modem, c.path, c.key, true, c.digest); }));
        EXPECT_THAT(log.Text(), HasSubstr(std::string("Update failed ") + c.error));
        EXPECT_EQ(c.queued, modem.mailbox.size());
        EXPECT_THAT(log.Text(), ::testing::Not(HasSubstr("Firmware with")));
    }
}

TEST(UpdateEndpoint, NullModemIsRefused)
{
    FirmwareFile file(5);
    EXPECT_EQ("Module parameter empty",
              ErrorOf([&] { UpdateEndpoint(nullptr, kEndpoint, "", file.path, kDigest, true); }));
}
