#include "LogCapture.h"
#include "LogStatement.h"

#include <atomic>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <thread>

namespace
{

const std::string kHeader = R"(\[\d{4}-[A-Z][a-z]{2}-\d{2} \d{2}:\d{2}:\d{2}(\.\d{6})?\])";

struct LevelCase
{
    int level;
    bool printed;
    bool withPosition;
};

TEST(LogFormat, DefaultThresholdsPrintBareLinesAndPositionsForErrors)
{
    const LevelCase cases[] = {
        {LogLevel::Trace, false, false}, {LogLevel::Debug, false, false}, {LogLevel::Warning, false, false},
        {LogLevel::Normal, true, false}, {LogLevel::Error, true, true},   {LogLevel::Fatal, true, true},
    };
    for (const auto &c : cases)
    {
        LogCapture capture;
        const int line = __LINE__ + 1;
        LOG_LINE(c.level, LogModule::Tolv) << "message " << 42;
        std::string expected;
        if (c.printed)
            expected = (c.withPosition ? "test_log.cpp:" + std::to_string(line) + " " : std::string()) + "message 42\n";
        EXPECT_EQ(capture.Text(), expected) << "level " << c.level;
    }
}

TEST(LogFormat, DebugThresholdsAddTheHeaderToEveryLine)
{
    LogCapture capture(LogLevel::Trace);
    LOG_LINE(LogLevel::Debug, LogModule::Utils) << "Thread::Start";
    const int line = __LINE__ + 1;
    LOG_LINE(LogLevel::Fatal, LogModule::WMBC) << "gone";
    LOG_LINE(LogLevel::Trace, LogModule::WMBH) << "t";
    const auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(kHeader + R"(\[2\]\[Utils   \]Thread::Start)"))) << lines[0];
    EXPECT_TRUE(std::regex_match(
        lines[1], std::regex(kHeader + R"(\[7\]\[WMBC    \]test_log\.cpp:)" + std::to_string(line) + " gone")))
        << lines[1];
    EXPECT_TRUE(std::regex_match(lines[2], std::regex(kHeader + R"(\[1\]\[WMBH    \]t)"))) << lines[2];
}

TEST(LogFormat, HeaderFollowsOnlyModuleZerosThreshold)
{
    LogCapture capture(LogLevel::Error);
    LOG_LINE(LogLevel::Normal, LogModule::Tolv) << "hidden";
    LOG_LINE(LogLevel::Error, LogModule::Tolv) << "shown";
    const auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(test_log\.cpp:\d+ shown)"))) << lines[0];

    // Only module 0 below 5 turns the header on, whatever the module logging.
    Log::Instance().SetAllLevels(LogLevel::Normal);
    Log::Instance().SetLevel(LogModule::Undef, LogLevel::Debug);
    LOG_LINE(LogLevel::Normal, LogModule::Tolv) << "x";
    EXPECT_TRUE(std::regex_search(capture.Text(), std::regex(kHeader + R"(\[5\]\[Tolv    \]x\n$)"))) << capture.Text();
}

TEST(LogFormat, TimeTextLeavesOutAZeroFraction)
{
    using namespace boost::posix_time;
    const boost::gregorian::date day(2016, boost::gregorian::Mar, 4);
    const time_duration at = hours(10) + minutes(23) + seconds(45);
    EXPECT_EQ(Log::TimeText(ptime(day, at + microseconds(123456))), "2016-Mar-04 10:23:45.123456");
    EXPECT_EQ(Log::TimeText(ptime(day, at)), "2016-Mar-04 10:23:45");
    EXPECT_EQ(Log::TimeText(ptime(day, at + milliseconds(20))), "2016-Mar-04 10:23:45.020000");
}

TEST(LogFormat, SourceNameIsTheLastPathComponent)
{
    EXPECT_STREQ(LogStatement::SourceName("/a/b/WMBC_ZV.cpp"), "WMBC_ZV.cpp");
    EXPECT_STREQ(LogStatement::SourceName("plain.cpp"), "plain.cpp");
    EXPECT_STREQ(LogStatement::SourceName("dir/"), "");
}

TEST(LogFormat, ColouredMessagesKeepThePositionUncoloured)
{
    LogCapture capture;
    Log::Instance().SetColored(true);
    LOG_LINE(LogLevel::Normal, LogModule::Utils) << "u";
    LOG_LINE(LogLevel::Normal, LogModule::WMBC) << "c";
    LOG_LINE(LogLevel::Normal, LogModule::WMBH) << "h";
    LOG_LINE(LogLevel::Normal, LogModule::Tolv) << "t";
    LOG_LINE(LogLevel::Normal, 9) << "plain";
    const int line = __LINE__ + 1;
    LOG_LINE(LogLevel::Error, LogModule::Tolv) << "e";
    EXPECT_EQ(capture.Text(), "\033[3m\033[33mu\033[0m\n"
                              "\033[40m\033[34mc\033[0m\n"
                              "\033[40m\033[34mh\033[0m\n"
                              "\033[3m\033[1;35mt\033[0m\n"
                              "plain\n"
                              "test_log.cpp:" +
                                  std::to_string(line) + " \033[41m\033[1;37me\033[0m\n");
}

TEST(LogFiltering, FilteredStatementsDoNotEvaluateTheirMessage)
{
    LogCapture capture;
    int evaluated = 0;
    auto touch = [&evaluated] { return ++evaluated; };
    LOG_LINE(LogLevel::Debug, LogModule::WMBC) << touch();
    EXPECT_EQ(evaluated, 0);
    LOG_LINE(LogLevel::Normal, LogModule::WMBC) << touch();
    EXPECT_EQ(evaluated, 1);

    Log::Instance().SetEnabled(false);
    LOG_LINE(LogLevel::Fatal, LogModule::WMBC) << touch();
    EXPECT_EQ(evaluated, 1);
    EXPECT_EQ(capture.Text(), "1\n");
}

TEST(LogFiltering, StatementsWorkAsTheOnlyStatementOfAnIf)
{
    LogCapture capture;
    for (int i = 0; i < 2; ++i)
        if (i == 0)
            LOG_LINE(LogLevel::Normal, LogModule::Tolv) << "zero";
        else
            LOG_LINE(LogLevel::Normal, LogModule::Tolv) << "one";
    EXPECT_EQ(capture.Text(), "zero\none\n");
}

TEST(LogFiltering, OutOfRangeModulesAreRefusedSafely)
{
    LogCapture capture(LogLevel::Trace);
    Log &log = Log::Instance();
    EXPECT_EQ(log.GetLevel(36), 7);
    EXPECT_EQ(log.GetLevel(-1), 7);
    EXPECT_EQ(log.GetTag(40), log.GetTag(0));
    EXPECT_EQ(log.GetTag(-5), "Undef   ");
    LOG_LINE(LogLevel::Normal, 36) << "no";
    LOG_LINE(LogLevel::Error, -2) << "no";
    EXPECT_EQ(capture.Text(), "");
    LOG_LINE(LogLevel::Fatal, 99) << "last words";
    EXPECT_TRUE(std::regex_match(capture.Lines().at(0),
                                 std::regex(kHeader + R"(\[7\]\[Undef   \]test_log\.cpp:\d+ last words)")))
        << capture.Text();
}

TEST(LogLevels, SetLevelChecksModuleAndLevel)
{
    LogCapture capture;
    Log &log = Log::Instance();
    log.SetLevel(3, 7);
    log.SetLevel(36, 1);
    log.SetLevel(-1, 1);
    EXPECT_EQ(log.GetLevel(3), 5);
    log.SetLevel(3, 6);
    EXPECT_EQ(log.GetLevel(3), 6);
    log.SetAllLevels(9);
    for (int module = 0; module < Log::ModuleCount; ++module)
        EXPECT_EQ(log.GetLevel(module), 9);
}

TEST(LogLevels, SetLevelByNameChangesOnlyTheFirstMatch)
{
    LogCapture capture;
    Log &log = Log::Instance();
    log.SetLevelByName("WMB", 1);
    EXPECT_EQ(log.GetLevel(LogModule::WMBC), 1);
    EXPECT_EQ(log.GetLevel(LogModule::WMBH), 5);
    log.SetLevelByName("nothing like it", 1);
    int changed = 0;
    for (int module = 0; module < Log::ModuleCount; ++module)
        changed += log.GetLevel(module) != 5;
    EXPECT_EQ(changed, 1);
}

TEST(LogTags, EveryTagIsEightCharacters)
{
    std::set<std::string> distinct;
    for (int module = 0; module < Log::ModuleCount; ++module)
    {
        EXPECT_EQ(Log::Instance().GetTag(module).size(), 8u) << module;
        distinct.insert(Log::Instance().GetTag(module));
    }
    EXPECT_EQ(distinct.size(), static_cast<size_t>(Log::ModuleCount));
    EXPECT_EQ(Log::Instance().GetTag(LogModule::Utils), "Utils   ");
    EXPECT_EQ(Log::Instance().GetTag(LogModule::Tolv), "Tolv    ");
}

TEST(LogStream, OneStatementsFormattingDoesNotLeakIntoTheNext)
{
    LogCapture capture;
    LOG_LINE(LogLevel::Normal, LogModule::Tolv) << std::hex << std::uppercase << 255;
    LOG_LINE(LogLevel::Normal, LogModule::Tolv) << 255;
    EXPECT_EQ(capture.Text(), "FF\n255\n");
}

TEST(LogStream, ResetOutputPointsBackAtStandardOutput)
{
    std::ostringstream other;
    Log::Instance().GetStream() = &other;
    Log::Instance().ResetOutput();
    EXPECT_EQ(Log::Instance().GetStream(), &std::cout);
}

TEST(LogConcurrency, LinesOfSeveralThreadsNeverInterleave)
{
    LogCapture capture;
    constexpr int kThreads = 8;
    constexpr int kLines = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(
            [t]
            {
                for (int i = 0; i < kLines; ++i)
                    LOG_LINE(LogLevel::Normal, LogModule::WMBC) << "thread " << t << " line " << i << " end";
            });
    for (auto &thread : threads)
        thread.join();

    const auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
    std::set<std::string> seen;
    const std::regex whole(R"(thread \d line \d+ end)");
    for (const auto &line : lines)
    {
        EXPECT_TRUE(std::regex_match(line, whole)) << line;
        seen.insert(line);
    }
    EXPECT_EQ(seen.size(), lines.size());
}

int LogsItself()
{
    LOG_LINE(LogLevel::Normal, LogModule::Utils) << "inner";
    return 7;
}

TEST(LogConcurrency, AMessageThatLogsDoesNotDeadlock)
{
    LogCapture capture;
    LOG_LINE(LogLevel::Normal, LogModule::Tolv) << "outer " << LogsItself();
    EXPECT_EQ(capture.Text(), "outer inner\n7\n");
}

} // namespace
