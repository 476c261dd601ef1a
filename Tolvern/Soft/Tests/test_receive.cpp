// Reception without a modem: the decoder-input rebuild, the address text and
// the paths of ReceiveAndPrint and WaitInitialFrame against a driver that
// hands out prepared frames.
#include "LogCapture.h"
#include "OutputText.h"
#include "StubModem.h"
#include "Tolv_Config.h"
#include "Tolv_Receive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace
{

using Bytes = std::vector<uint8_t>;

// Delivers its frames one per ReceiveFrame call, then nothing (after a short nap, so
// that a waiting loop does not spin).
class FrameQueueDriver : public StubModem
{
public:
    std::deque<Bytes> frames;

    void ReceiveFrame(uint8_t *buffer, int &size, int timeoutMs) override
    {
        const int capacity = size;
        size = 0;
        if (frames.empty())
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(timeoutMs, 20)));
            return;
        }
        const Bytes frame = frames.front();
        frames.pop_front();
        if (static_cast<int>(frame.size()) > capacity)
        {
            throw std::logic_error("test frame larger than the receive buffer");
        }
        std::copy(frame.begin(), frame.end(), buffer);
        size = static_cast<int>(frame.size());
    }
};

// A frame as the driver delivers it: 0x68, the air frame with L counting the signal byte,
// the signal byte, 0x16. air holds C onwards (no L).
Bytes Delivered(const Bytes &air, uint8_t signal = 0xC4)
{
    Bytes frame(air.size() + 4);
    frame[0] = 0x68;
    frame[1] = static_cast<uint8_t>(air.size() + 1);
    std::copy(air.begin(), air.end(), frame.begin() + 2);
    frame[air.size() + 2] = signal;
    frame[air.size() + 3] = 0x16;
    return frame;
}

// C M(ZVR) A(id 12345678, version 1, type 7) CI 7A, access 0x10, status 0, configuration word,
// then a volume record.
Bytes MeterAir(uint8_t c = 0x44, uint8_t ci = 0x7A, uint8_t mLow = 0xD2, uint8_t mHigh = 0x6A,
               uint8_t configSecond = 0x00)
{
    return {c,    mLow, mHigh, 0x78,         0x56, 0x34, 0x12, 0x01, 0x07, ci,
            0x10, 0x00, 0x00,  configSecond, 0x0C, 0x13, 0x78, 0x56, 0x34, 0x12};
}

struct Reception
{
    bool result;
    std::string log;    // what went through the logging facility
    std::string direct; // what went straight to standard output
    mbus_frame frame;
};

Reception Receive(const Bytes &delivered, bool withData, const std::string &key = Tolv::Config().OptKey)
{
    FrameQueueDriver driver;
    driver.frames.push_back(delivered);
    Tolv::Config config;
    config.OptKey = key;
    mbus_frame_data *data = withData ? mbus_frame_data_new() : nullptr;
    LogCapture log;
    std::ostringstream direct;
    Reception reception{};
    reception.result = Tolv::ReceiveAndPrint(driver, config, reception.frame, data, 10, direct);
    reception.log = NoDates(log.Text());
    reception.direct = direct.str();
    mbus_frame_data_free(data);
    return reception;
}

} // namespace

TEST(DecoderInput, RebuildsTrailerAndLength)
{
    const Bytes received{0x68, 0x0D, 0x44, 0xD2, 0x6A, 0x78, 0x56, 0x34, 0x12, 0x01, 0x07, 0x7A, 0xAB, 0xC4, 0x16};
    uint8_t input[Tolv::ReceiveBufferSize];
    ASSERT_EQ(Tolv::BuildDecoderInput(received.data(), int(received.size()), input, sizeof input),
              int(received.size()) + 2);
    const Bytes expected{0x68, 0x0F, 0x44, 0xD2, 0x6A, 0x78, 0x56, 0x34, 0x12,
                         0x01, 0x07, 0x7A, 0xAB, 0x76, 0x00, 0x00, 0x16};
    EXPECT_EQ(Bytes(input, input + expected.size()), expected);
}

TEST(DecoderInput, SignalAndLengthWrapModulo256)
{
    struct Case
    {
        uint8_t signal;
        uint8_t rssi;
    };
    for (const Case c : {Case{0xC4, 0x76}, Case{0xFF, 0x00}, Case{0x00, 0xFE}, Case{0x7F, 0x00}, Case{0x80, 0xFE}})
    {
        EXPECT_EQ(Tolv::SignalToRssi(c.signal), c.rssi) << int(c.signal);
    }
    const Bytes received{0x68, 0xFE, 0x44, 0x00, 0x16};
    uint8_t input[8];
    ASSERT_EQ(Tolv::BuildDecoderInput(received.data(), 5, input, sizeof input), 7);
    EXPECT_EQ(input[1], 0x00);
}

TEST(DecoderInput, RefusesWhatCannotBeRebuilt)
{
    const Bytes received{0x68, 0x03, 0x44, 0xC4, 0x16};
    uint8_t input[Tolv::ReceiveBufferSize];
    EXPECT_EQ(Tolv::BuildDecoderInput(received.data(), 3, input, sizeof input), 0); // no room for a signal byte
    EXPECT_EQ(Tolv::BuildDecoderInput(received.data(), 5, input, 6), 0);            // output one byte short
    EXPECT_EQ(Tolv::BuildDecoderInput(nullptr, 5, input, sizeof input), 0);
    EXPECT_EQ(Tolv::BuildDecoderInput(received.data(), 5, input, 7), 7);
}

TEST(ParseAddress, AcceptedTexts)
{
    struct Case
    {
        const char *text;
        uint64_t value;
    };
    const Case cases[] = {
        {"0x12345678d26a0107", 0x12345678d26a0107ull},
        {"12345678d26a0107", 0x12345678d26a0107ull},
        {"0X12345678D26A0107", 0x12345678d26a0107ull},
        {"  0x12345678d26a0107", 0x12345678d26a0107ull},
        {"0x12345678d26a0107zz", 0x12345678d26a0107ull}, // stops at the first other character
        {"0x1", 1},
        {"0xffffffffffffffff", 0xffffffffffffffffull},
        {"0x00000000000000000001", 1}, // leading zeros are not significant
    };
    for (const Case &c : cases)
    {
        LogCapture log;
        EXPECT_EQ(Tolv::ParseAddress(c.text), c.value) << c.text;
        char line[64];
        std::snprintf(line, sizeof line, "Got address %016llx\n", static_cast<unsigned long long>(c.value));
        EXPECT_EQ(log.Text(), line) << c.text;
    }
}

TEST(ParseAddress, RefusedTexts)
{
    for (const char *text : {"", "   ", "0x", "zz", "0x12345678d26a01071", "-1", "+1", "x12"})
    {
        LogCapture log;
        try
        {
            Tolv::ParseAddress(text);
            ADD_FAILURE() << "accepted: " << text;
        }
        catch (const std::runtime_error &e)
        {
            EXPECT_STREQ(e.what(), "input address parsing error") << text;
        }
        EXPECT_EQ(log.Text(), "") << text;
    }
}

TEST(ParseAddress, ReadsTheRunsAddress)
{
    LogCapture log;
    Tolv::RunConfig().OptAddress = "0xa1b2c3d4d26a1c37";
    EXPECT_EQ(Tolv::ParseAddress(), 0xa1b2c3d4d26a1c37ull);
    Tolv::RunConfig().OptAddress = Tolv::Config().OptAddress;
}

TEST(ReceiveAndPrint, NothingReceivedResetsTheRecord)
{
    FrameQueueDriver driver;
    Tolv::Config config;
    mbus_frame frame{};
    frame.control = 0x08;
    frame.data_size = 5;
    LogCapture log;
    EXPECT_FALSE(Tolv::ReceiveAndPrint(driver, config, frame, nullptr, 10));
    EXPECT_EQ(frame.control, 0);
    EXPECT_EQ(frame.data_size, 0u);
    EXPECT_EQ(log.Text(), "");
}

TEST(ReceiveAndPrint, FrameTooShortForASignalByte)
{
    const Reception r = Receive({0x68, 0x44, 0x16}, true);
    EXPECT_FALSE(r.result);
    EXPECT_EQ(r.direct, "");
    EXPECT_NE(r.log.find("Frame too short: 68 44 16 \n"), std::string::npos) << r.log;
    EXPECT_EQ(r.log.find("<mbus"), std::string::npos);
}

TEST(ReceiveAndPrint, WithoutFrameDataOnlyTheRecordIsFilled)
{
    const Reception r = Receive(Delivered(MeterAir(0x08)), false);
    EXPECT_TRUE(r.result);
    EXPECT_EQ(r.log, "");
    EXPECT_EQ(r.direct, "");
    EXPECT_EQ(r.frame.control, 0x08);
    EXPECT_EQ(r.frame.control_information, 0x7A);
    EXPECT_EQ(r.frame.rssi, 0x76);
    EXPECT_EQ(r.frame.data_size, 6u);
}

TEST(ReceiveAndPrint, PlainFramePrintsItsDocument)
{
    const Reception r = Receive(Delivered(MeterAir(), 0xFF), true);
    EXPECT_TRUE(r.result);
    EXPECT_EQ(r.direct, "");
    // Signal byte 0xFF: RSSI 0, so no radio element.
    EXPECT_EQ(r.log, "<mbus date=\"D\">\n"
                     "    <header>\n"
                     "        <Id>12345678</Id>\n"
                     "        <Manufacturer>ZVR</Manufacturer>\n"
                     "        <Version>1</Version>\n"
                     "        <Medium>Water</Medium>\n"
                     "        <AccessNumber>16</AccessNumber>\n"
                     "        <Status>00</Status>\n"
                     "        <Signature>0000</Signature>\n"
                     "        <Type>SND-NR</Type>\n"
                     "    </header>\n"
                     "    <records>\n"
                     "        <record type=\"inst\" unit=\"Volume (m m^3)\" storage=\"0\">12345678</record>\n"
                     "    </records>\n"
                     "    <raw>0C1378563412</raw>\n"
                     "</mbus>\n"
                     "\n");
}

TEST(ReceiveAndPrint, FrameTheDecoderRefuses)
{
    // C-field 0x45: a low nibble the decoder does not take. Without a frame-data record the
    // frame does not count either: its record holds nothing worth reading.
    const Bytes delivered = Delivered(MeterAir(0x45));
    EXPECT_FALSE(Receive(delivered, false).result);

    const Reception r = Receive(delivered, true);
    EXPECT_FALSE(r.result);
    EXPECT_EQ(r.direct, "mbus_parse_wmbus() return code: -2 (Unsupported C-field 0x45) 0\n");
    // Nothing decoded: the raw document of the decoder input, the RSSI trailer included, with
    // the reason.
    EXPECT_EQ(r.log, "<mbus date=\"D\">\n"
                     "    <error>Unsupported C-field 0x45</error>\n"
                     "    <raw>681745D26A7856341201077A100000000C137856341276000016</raw>\n"
                     "</mbus>\n"
                     "\n");
}

TEST(ReceiveAndPrint, DataTheDecoderCannotReadGiveTheErrorDocument)
{
    // The volume record announces four data bytes; two are there.
    Bytes air = MeterAir();
    air.resize(air.size() - 2);
    const Reception r = Receive(Delivered(air), true);
    EXPECT_FALSE(r.result);
    EXPECT_EQ(r.direct, "");
    EXPECT_NE(r.log.find("    </header>\n"
                         "    <error>Premature end of record at data.</error>\n"
                         "    <raw>0C137856</raw>\n"
                         "</mbus>\n"),
              std::string::npos)
        << r.log;
    EXPECT_EQ(r.log.find("<records>"), std::string::npos);
}

TEST(ReceiveAndPrint, DecryptionFailures)
{
    struct Case
    {
        const char *name;
        Bytes delivered;
        std::string key;
        std::string direct;
        std::string logPart;
    };
    const std::string key = Tolv::Config().OptKey;
    const Case cases[] = {
        // Too short for DecryptFrame: nothing came back, so the decoder sees no bytes and the
        // document is the raw decoder input with the reason DecryptFrame gave.
        {"short", Delivered({0x44, 0xD2, 0x6A, 0x78}), key,
         "Decrypt failed ... (buffer_len:0)\nmbus_parse_wmbus() return code: 3 (Frame incomplete: 3 bytes missing) 0\n",
         "    <error>Length error</error>\n    <raw>680744D26A7876000016</raw>"},
        // Mode 3 is no mode we decrypt: the frame is reported, never handed on as if plain.
        {"mode 3", Delivered(MeterAir(0x44, 0x7A, 0xD2, 0x6A, 0x03)), key, "Decrypt failed ... (buffer_len:26)\n",
         "    <error>Unsupported encryption</error>\n"},
        // A key that is not 32 digits refuses the frame before any block is touched.
        {"key size", Delivered(MeterAir(0x44, 0x7A, 0xD2, 0x6A, 0x05)), "0011", "Decrypt failed ... (buffer_len:0)\n",
         "    <error>Wrong key size 4</error>\n    <raw>"},
        // Bits 8-12 of the configuration word: mode 21 is not taken for mode 5.
        {"mode 21", Delivered(MeterAir(0x44, 0x7A, 0xD2, 0x6A, 0x15)), key, "Decrypt failed ... (buffer_len:26)\n",
         "    <error>Unsupported encryption</error>\n"},
        // Decrypted with a key that is not the meter's: no 2F 2F in front.
        {"wrong key", Delivered(MeterAir(0x44, 0x7A, 0xD2, 0x6A, 0x05)), key, "Decrypt failed ... (buffer_len:26)\n",
         "    <error>Decryption failed: check the AES key</error>\n"},
    };
    for (const Case &c : cases)
    {
        const Reception r = Receive(c.delivered, true, c.key);
        EXPECT_FALSE(r.result) << c.name;
        EXPECT_EQ(r.direct.substr(0, c.direct.size()), c.direct) << c.name;
        EXPECT_NE(r.log.find(c.logPart), std::string::npos) << c.name << "\n" << r.log;
    }
}

// Whatever reaches the decoder ends in a document with records or with the reason it has none.
TEST(ReceiveAndPrint, EveryDocumentHasRecordsOrAnError)
{
    // C M(ZVR) A(id 12345678, version 1, type 7), then the CI and what follows it.
    auto air = [](const Bytes &fromCi)
    {
        Bytes frame = {0x44, 0xD2, 0x6A, 0x78, 0x56, 0x34, 0x12, 0x01, 0x07};
        frame.insert(frame.end(), fromCi.begin(), fromCi.end());
        return frame;
    };
    struct Case
    {
        const char *name;
        Bytes air;
        bool result;
        std::string part; // in the document
    };
    const Case cases[] = {
        // No transport header: nothing to decrypt, decoded like any frame (volume 12345678).
        {"CI 0x78", air({0x78, 0x0C, 0x13, 0x78, 0x56, 0x34, 0x12}), true,
         "<record type=\"inst\" unit=\"Volume (m m^3)\" storage=\"0\">12345678</record>"},
        // A compact frame whose format frame we do not hold.
        {"CI 0x79", air({0x79, 0x12, 0x34, 0x56, 0x78, 0x0C, 0x13, 0x78, 0x56, 0x34, 0x12}), true,
         "    <error>Compact frame without its format frame</error>\n"},
        // An application error, code 8.
        {"CI 0x6E", air({0x6E, 0x10, 0x00, 0x00, 0x00, 0x08}), true,
         "    <error>Application error: Application busy</error>\n"},
        // Fillers only: the frame decoded to no record at all.
        {"fillers only", air({0x7A, 0x10, 0x00, 0x00, 0x00, 0x2F, 0x2F, 0x2F, 0x2F}), true,
         "    <error>No data records</error>\n"},
    };
    for (const Case &c : cases)
    {
        const Reception r = Receive(Delivered(c.air), true);
        EXPECT_EQ(r.result, c.result) << c.name;
        EXPECT_NE(r.log.find(c.part), std::string::npos) << c.name << "\n" << r.log;
        EXPECT_TRUE(r.log.find("<record ") != std::string::npos || r.log.find("<error>") != std::string::npos)
            << c.name;
    }
}

TEST(WaitInitialFrame, MismatchesAreReportedInOrderAndTheRightFrameTeachesTheAddress)
{
    FrameQueueDriver driver;
    Bytes other = MeterAir(0x08);
    other[3] = 0xD4, other[4] = 0xC3, other[5] = 0xB2, other[6] = 0xA1, other[7] = 0x1C, other[8] = 0x37;
    driver.frames = {
        Delivered(MeterAir(0x44)),                   // SND-NR
        Delivered(MeterAir(0x08, 0x74)),             // a short header, but not the one we wait for
        Delivered(MeterAir(0x08, 0x7A, 0x93, 0x15)), // another manufacturer
        Delivered(MeterAir(0x45)),                   // not even a frame: ignored silently
        Delivered(other),
        Delivered(MeterAir(0x08)), // never read: the wait is over
    };
    Tolv::Config config;
    std::string address = config.OptAddress;
    LogCapture log;
    ASSERT_TRUE(Tolv::WaitInitialFrame(driver, config, address, 5));
    EXPECT_EQ(address, "0xd4c3b2a1d26a1c37");
    EXPECT_EQ(driver.frames.size(), 1u);
    std::regex position(R"(Tolv_Receive\.cpp:[0-9]+ )");
    EXPECT_EQ(std::regex_replace(log.Text(), position, ""), "Place a magnet on product\n"
                                                            "C-field don't match\n"
                                                            "CI-field don't match\n"
                                                            "Manufacturer don't match Zelvir\n"
                                                            "Frame received\n");
}

TEST(WaitInitialFrame, DefaultModuleFrameGivesTheDefaultAddress)
{
    FrameQueueDriver driver;
    // Identification bytes 12 34 56 78 as they go on the air.
    Bytes air = MeterAir(0x08);
    std::reverse(air.begin() + 3, air.begin() + 7);
    driver.frames = {Delivered(air)};
    Tolv::Config config;
    std::string address = "0x0000000000000000";
    LogCapture log(LogLevel::Trace);
    ASSERT_TRUE(Tolv::WaitInitialFrame(driver, config, address, 5));
    EXPECT_EQ(address, "0x12345678d26a0107");
    // The trace shows at most the data there are.
    EXPECT_NE(log.Text().find("]data C 13 78 56 34 12 \n"), std::string::npos) << log.Text();
}

TEST(WaitInitialFrame, NoFrameWithinTheLimit)
{
    FrameQueueDriver driver;
    Tolv::Config config;
    std::string address = config.OptAddress;
    LogCapture log;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Tolv::WaitInitialFrame(driver, config, address, 1));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(address, config.OptAddress);
    EXPECT_EQ(log.Text(), "Place a magnet on product\n");

    LogCapture none;
    EXPECT_FALSE(Tolv::WaitInitialFrame(driver, config, address, 0));
}
