// Firmware updates through a mailbox that a slow modem keeps full: every frame of the update,
// the closing frame and the SND-NKE included, waits for its entry; and an update killed
// mid-transfer leaves nothing that spoils the next one.
#include "UpdateTaskTest.h"

#include <chrono>
#include <string>
#include <vector>

namespace
{

using ModemEmu::MailboxDelivery;

constexpr int BlockSize = 93;

std::string Image(size_t size)
{
    std::string bytes;
    for (size_t i = 0; i < size; ++i)
    {
        bytes.push_back(static_cast<char>((i * 131 + 17) % 251));
    }
    return bytes;
}

std::vector<uint8_t> Bytes(const std::string &text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

bool EndsWith(const std::string &text, const std::string &end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// One entry handed out at a time, slower than the program queues: the mailbox is full whenever
// the program has caught up, the closing frame taking its last entry included.
ModemEmu::CoreConfig PacedDelivery(std::chrono::milliseconds pace)
{
    ModemEmu::CoreConfig core;
    core.delivery = MailboxDelivery::Paced;
    core.deliveryPace = pace;
    return core;
}

struct FullMailboxCase
{
    size_t capacity;
    size_t size;
    // Slower than the program's look at the mailbox once a second: each look finds one entry free.
    std::chrono::milliseconds pace;
};

void PrintTo(const FullMailboxCase &c, std::ostream *os)
{
    *os << "capacity " << c.capacity << ", " << c.size << " bytes, one entry every " << c.pace.count() << " ms";
}

class UpdateThroughFullMailbox : public UpdateTask, public ::testing::WithParamInterface<FullMailboxCase>
{
};

} // namespace

TEST_P(UpdateThroughFullMailbox, DeliversTheWholeImage)
{
    const FullMailboxCase &c = GetParam();
    const TempDir files;
    const std::string image = Image(c.size);
    const std::string file = files.Write("fw.bin", image);
    StartModem({}, PacedDelivery(c.pace));
    modem.SetMailboxCapacity(c.capacity);

    const ProgramRun run = Run("-u " + file);
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_TRUE(EndsWith(run.out, "Firmware with " + std::to_string(c.size) + " sent\nAES with iv\nUpdate status: 0\n"))
        << run.out;
    EXPECT_EQ(receiver->BlockCount(), (c.size + BlockSize - 1) / BlockSize);
    EXPECT_EQ(receiver->Image(), Bytes(image));
    EXPECT_TRUE(receiver->ResetSeen());
    // Nothing was refused for a full mailbox: every frame the program queued reached the module.
    EXPECT_EQ(modem.Record().RadioFrames().size(), receiver->BlockCount() + 2);
}

INSTANTIATE_TEST_SUITE_P(Sizes, UpdateThroughFullMailbox,
                         ::testing::Values(
                             // 7 blocks and the closing frame fill the 8 entries; with 9 and 12 blocks the mailbox is
                             // full again each time an entry was freed.
                             FullMailboxCase{8, 7 * BlockSize, std::chrono::milliseconds(1100)},
                             FullMailboxCase{8, 9 * BlockSize, std::chrono::milliseconds(1100)},
                             FullMailboxCase{8, 11 * BlockSize + 1, std::chrono::milliseconds(1100)},
                             // One entry: every frame finds the mailbox full, however fast it is handed out.
                             FullMailboxCase{1, 50, std::chrono::milliseconds(30)},
                             FullMailboxCase{1, 2 * BlockSize, std::chrono::milliseconds(30)},
                             FullMailboxCase{1, 3 * BlockSize + 1, std::chrono::milliseconds(30)}),
                         [](const ::testing::TestParamInfo<FullMailboxCase> &info) {
                             return "Capacity" + std::to_string(info.param.capacity) + "Bytes" +
                                    std::to_string(info.param.size);
                         });

TEST_F(UpdateTask, UpdateKilledMidTransferDoesNotSpoilTheNextOne)
{
    const TempDir files;
    const std::string image = Image(20 * BlockSize + 7);
    const std::string file = files.Write("fw.bin", image);
    ModemEmu::CoreConfig asleep;
    asleep.delivery = MailboxDelivery::Never; // the module does not listen while the first run goes on
    StartModem({}, asleep);
    modem.SetMailboxCapacity(8);

    // The first run fills the mailbox with blocks and waits for space; then it is killed outright.
    Start("--nowait -u " + file);
    ASSERT_TRUE(modem.Record().WaitUntil([&] { return modem.MailboxEntries().size() == 8; }, std::chrono::seconds(10)))
        << program->Output();
    program->Kill();
    EXPECT_EQ(receiver->BlockCount(), 0u);

    modem.WithCore([](ModemEmu::ModemCore &core) { core.Config().delivery = MailboxDelivery::Immediate; });
    const ProgramRun run = Run("-u " + file);
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_NE(run.out.find("Got address 12345678d26a0107\nWithdrew 8 messages of an earlier run from the modem's "
                           "mailbox\nUpdateEndpoint from "),
              std::string::npos)
        << run.out;
    EXPECT_TRUE(EndsWith(run.out, "\nUpdate status: 0\n")) << run.out;
    EXPECT_EQ(receiver->Image(), Bytes(image));
    EXPECT_TRUE(modem.MailboxEntries().empty());
}
