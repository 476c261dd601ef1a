// The firmware update (-u) end to end: the built program sends a file to the
// emulator's firmware receiver, which checks blocks, size and digest and answers
// with its status frame.
#include "UpdateTaskTest.h"

#include <optional>

namespace
{

using ModemEmu::FirmwareReceiverConfig;
using ModemEmu::FirmwareStatus;

std::vector<uint8_t> FileBytes(const std::string &path)
{
    const std::string text = ReadFile(path);
    return std::vector<uint8_t>(text.begin(), text.end());
}

} // namespace

TEST_F(UpdateTask, FileOfThreeBlocksArrivesWholeAndTheStatusIsPrinted)
{
    StartModem();
    const ProgramRun run = Run("-u " + Firmware187);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, TransferLines(Firmware187, {0, 93, 186}, 187) + "Update status: 0\n");

    // The last block holds one byte, 0x2F like the padding: only the announced size tells them apart.
    EXPECT_EQ(receiver->BlockCount(), 3u);
    ASSERT_TRUE(receiver->Closing());
    EXPECT_EQ(receiver->Closing()->sizeDif, 0x04);
    EXPECT_EQ(receiver->Closing()->size, 187u);
    EXPECT_EQ(receiver->Status(), FirmwareStatus::Accepted); // the digest matched the blocks
    EXPECT_EQ(receiver->Image(), FileBytes(Firmware187));
    EXPECT_TRUE(receiver->ResetSeen());
}

TEST_F(UpdateTask, FileOfWholeBlocksSendsNoEmptyBlockAndHonoursTheFirstVersionSizeRecord)
{
    StartModem();
    const ProgramRun run = Run("--update_fix_dif -u " + Firmware186);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, TransferLines(Firmware186, {0, 93, 186}, 186) + "Update status: 0\n");

    EXPECT_EQ(receiver->BlockCount(), 2u);
    ASSERT_TRUE(receiver->Closing());
    EXPECT_EQ(receiver->Closing()->sizeDif, 0x03);
    EXPECT_EQ(receiver->Closing()->size, 186u);
    EXPECT_EQ(receiver->Status(), FirmwareStatus::Accepted);
    EXPECT_EQ(receiver->Image(), FileBytes(Firmware186));
}

struct StatusCase
{
    const char *name;
    std::optional<uint8_t> forcedStatus;
    int records;
    int exitCode;
    const char *line;
};

void PrintTo(const StatusCase &c, std::ostream *os)
{
    *os << c.name;
}

class UpdateStatus : public UpdateTask, public ::testing::WithParamInterface<StatusCase>
{
};

TEST_P(UpdateStatus, IsReportedFromTheFirstRecord)
{
    FirmwareReceiverConfig config;
    config.forcedStatus = GetParam().forcedStatus;
    config.statusRecords = GetParam().records;
    StartModem(config);
    const ProgramRun run = Run("-u " + Firmware187);
    EXPECT_EQ(run.exitCode, GetParam().exitCode);
    EXPECT_EQ(run.out, TransferLines(Firmware187, {0, 93, 186}, 187) + GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(Frames, UpdateStatus,
                         ::testing::Values(StatusCase{"RefusedImage", 3, 2, 0, "Update status: 3\n"},
                                           StatusCase{"LargestStatus", 255, 2, 0, "Update status: 255\n"},
                                           // Without a status nobody knows whether the module took the image.
                                           StatusCase{"WithoutSizeRecord", std::nullopt, 1, 1,
                                                      "Tolv_UpdateTask.cpp:N Invalid number of records\n"
                                                      "Tolv_Main.cpp:N Request failed: Invalid update status "
                                                      "from module\n"}),
                         [](const ::testing::TestParamInfo<StatusCase> &info) { return std::string(info.param.name); });

TEST_F(UpdateTask, FilesThatCannotBeSentEndTheRunBeforeAnythingGoesOnTheAir)
{
    struct Case
    {
        std::string file;
        std::string lines;
    };
    const TempDir files;
    const Case cases[] = {
        {InstallFixtures + "/no_such_file.bin", "Tolv_Main.cpp:N Request failed: Update file does not exist\n"},
        {InstallFixtures, "Tolv_Main.cpp:N Request failed: Update file is not a file\n"},
        // Only a closing frame announcing 0 bytes would go out.
        {files.Write("empty.bin", ""), "Tolv_Main.cpp:N Request failed: Update file is empty\n"},
        // A regular file whose reading fails: no digest, so no update with a zero one.
        {"/proc/self/mem", "Chksum.cpp:N Can't read data file\n"
                           "Tolv_Main.cpp:N Request failed: Can't compute firmware digest\n"},
    };
    StartModem();
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.file);
        const ProgramRun run = Run("-u " + c.file);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.out, c.lines);
    }
    EXPECT_TRUE(modem.Record().RadioFrames().empty());
    EXPECT_EQ(receiver->BlockCount(), 0u);
}
