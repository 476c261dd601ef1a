// The pieces of the request tasks that need no modem: the missing-frame list,
// the destination bytes, which frame counts as the module's answer, and what a
// wait ends with when nothing ever arrives.
#include "LogCapture.h"
#include "OutputText.h"
#include "StubModem.h"
#include "Tolv_AnswerJudge.h"
#include "Tolv_Config.h"
#include "Tolv_ConfigTasks.h"
#include "Tolv_RequestTasks.h"
#include "Tolv_UpdateTask.h"
#include "WMBH_HexText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{

std::vector<std::pair<uint32_t, int>> Pairs(const std::vector<MissingFrameRange> &ranges)
{
    std::vector<std::pair<uint32_t, int>> pairs;
    for (const MissingFrameRange &range : ranges)
    {
        pairs.emplace_back(range.offset, range.count);
    }
    return pairs;
}

// "04 13 2C" as bytes.
std::vector<uint8_t> Bytes(std::string hex)
{
    hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(HexToBytes(hex, bytes)) << hex;
    return bytes;
}

} // namespace

// An answer is its request's when it holds the request's records; idle fillers (2F) may stand
// before, between and after them, plain or encrypted alike. One whose records are all for other
// items answers an earlier request.
TEST(AnswerJudge, RecordsAreComparedWithFillersLeftOut)
{
    using V = Tolv::AnswerVerdict;
    const std::string period = "04 FF 3A 2C 01 00 00";
    const std::string mode = "01 FF 0E 02";
    const std::string key = "0D FD 19 10 00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF";
    struct Case
    {
        std::string request, answer;
        V verdict;
    };
    const Case cases[] = {
        {period, period, V::Confirms},
        {period, "2F 2F " + period, V::Confirms},
        {period, "2F 2F 2F " + period + " 2F 2F", V::Confirms},
        {period + " " + mode, "2F " + period + " 2F 2F " + mode + " 2F", V::Confirms},
        {period, period + " " + mode, V::Confirms},             // more records after those asked for
        {period, period + " 0F 5A A5 2F", V::Confirms},         // manufacturer data to the end
        {key, "2F " + key + " 2F 2F", V::Confirms},             // variable length
        {"", "2F 2F", V::Confirms},                             // nothing asked
        {period, "04 FF 3A 2C 01 00 01", V::Differs},           // another value
        {period + " " + mode, period, V::Differs},              // a record missing
        {period + " " + mode, mode + " " + period, V::Differs}, // in another order
        {period, "04 FF 3A 2C 01 2F 2F", V::Differs},           // cut: the fillers are read as value
        {period, "04 FF 3A 2C", V::Differs},
        {period, "", V::Differs},
        {period, "2F 2F 2F 2F", V::Differs},
        {period, mode, V::ForAnotherItem},
        {period, "2F 2F " + mode + " 2F", V::ForAnotherItem},
        {period, "04 FF 3B 2C 01 00 00", V::ForAnotherItem},    // same DIB, another VIB
        {period, "84 40 FF 3A 2C 01 00 00", V::ForAnotherItem}, // another subunit
        {period + " " + mode, mode + " 0F 5A", V::Differs},     // one item of the request
    };
    for (const Case &c : cases)
    {
        const std::vector<uint8_t> answer = Bytes(c.answer);
        EXPECT_EQ(Tolv::JudgeAnswer(answer.data(), answer.size(), Bytes(c.request)), c.verdict)
            << "request " << c.request << ", answer " << c.answer;
    }
}

TEST(MissingFrameList, GoodListsAreReadWhole)
{
    struct Case
    {
        std::string text;
        int acc;
        unsigned offset; // of the last range, or the default
        int count;
        std::vector<std::pair<uint32_t, int>> ranges;
    };
    const Case cases[] = {
        {"", 23, 4, 2, {}}, // no list: the defaults
        {"5", 5, 4, 2, {}},
        {"5,10,3", 5, 10, 3, {{10, 3}}},
        {" 7, 1,\t2,300,255", 7, 300, 255, {{1, 2}, {300, 255}}},
        {"0,0,0", 0, 0, 0, {{0, 0}}},
        {"255,4294967295,255", 255, 4294967295u, 255, {{4294967295u, 255}}},
        {"+5,007,2", 5, 7, 2, {{7, 2}}},
    };
    for (const Case &c : cases)
    {
        const Tolv::MissingFrameList list = Tolv::ParseMissingFrameList(c.text);
        EXPECT_EQ(list.acc, c.acc) << c.text;
        EXPECT_EQ(list.offset, c.offset) << c.text;
        EXPECT_EQ(list.count, c.count) << c.text;
        EXPECT_EQ(Pairs(list.ranges), c.ranges) << c.text;
    }
    LogCapture capture(LogLevel::Trace);
    Tolv::ParseMissingFrameList("");
    EXPECT_EQ(WithoutHeaders(capture.Text()), "Last acc parameter not found use default\noffset failed\n");
}

// Every list that the lenient reading would have cut, wrapped or dropped in part is refused whole.
TEST(MissingFrameList, AnythingElseIsRefusedWithItsReason)
{
    struct Case
    {
        std::string text;
        std::string reason;
    };
    const Case cases[] = {
        {"abc", "\"abc\" is not a decimal number"},
        {"99999999999", "access number 99999999999 is out of range 0 to 255"},
        {"-5", "access number -5 is out of range 0 to 255"},
        {"300", "access number 300 is out of range 0 to 255"},
        {"5,-1,3", "offset -1 is out of range 0 to 4294967295"},
        {"5,4294967296,2", "offset 4294967296 is out of range 0 to 4294967295"},
        {"5,10,300", "count 300 is out of range 0 to 255"},
        {"5,10", "offset 10 has no count"},
        {"5,10,3,20", "offset 20 has no count"},
        {"5,,10,3", "number 2 is empty"},
        {"5,10,3,", "number 4 is empty"},
        {" ", "number 1 is empty"},
        {"5 ,10,3", "\"5 \" is not a decimal number"},
        {"9;1,2", "\"9;1\" is not a decimal number"},
        {"5,0x10,3", "\"0x10\" is not a decimal number"},
        {"5,10,3.5", "\"3.5\" is not a decimal number"},
        {"5,1,2,3,-", "\"-\" is not a decimal number"},
    };
    for (const Case &c : cases)
    {
        std::string error;
        try
        {
            Tolv::ParseMissingFrameList(c.text);
        }
        catch (const std::runtime_error &e)
        {
            error = e.what();
        }
        EXPECT_EQ(error, "Invalid missing frame list \"" + c.text + "\": " + c.reason) << c.text;
    }
}

TEST(RequestAddress, BytesGoMostSignificantFirst)
{
    EXPECT_EQ(Tolv::AddressBytesOf(0x12345678d26a0107ull),
              (AddressBytes{0x12, 0x34, 0x56, 0x78, 0xD2, 0x6A, 0x01, 0x07}));
    EXPECT_EQ(Tolv::AddressBytesOf(1), (AddressBytes{0, 0, 0, 0, 0, 0, 0, 1}));
}

TEST(RequestAddress, OnlyTheAddressedModuleAnswers)
{
    const AddressBytes module{0x12, 0x34, 0x56, 0x78, 0xD2, 0x6A, 0x01, 0x07};
    // Link address as received: M (2), id (4), version, type.
    const uint8_t link[8] = {0xD2, 0x6A, 0x12, 0x34, 0x56, 0x78, 0x01, 0x07};
    struct Case
    {
        const char *what;
        int byte; // link byte to change, -1 none
        uint8_t control;
        uint8_t ci;
        bool answer;
    };
    const Case cases[] = {
        {"the module's answer", -1, 0x08, 0xA3, true},
        {"other answer CI", -1, 0x08, 0xA1, false},
        {"not an RSP-UD", -1, 0x44, 0xA3, false},
        {"other manufacturer", 1, 0x08, 0xA3, false},
        {"other id", 5, 0x08, 0xA3, false},
        {"other version", 6, 0x08, 0xA3, false},
        {"other device type", 7, 0x08, 0xA3, false},
    };
    for (const Case &c : cases)
    {
        mbus_frame frame{};
        std::copy(std::begin(link), std::end(link), frame.link_address);
        if (c.byte >= 0)
        {
            frame.link_address[c.byte] ^= 0x01;
        }
        frame.control = c.control;
        frame.ci = c.ci;
        EXPECT_EQ(Tolv::IsAnswerFrom(frame, 0xA3, module), c.answer) << c.what;
    }
}

// The windows of the program (up to 660 s) are waited out end to end elsewhere
// where they are short enough; here each wait gets one second of a modem that
// never delivers a frame.
TEST(NoAnswer, EveryWaitEndsWithAnErrorLine)
{
    StubModem silent;
    Tolv::Config config;
    const AddressBytes module = Tolv::AddressBytesOf(0x12345678d26a0107ull);
    struct Case
    {
        const char *what;
        std::function<void()> wait;
        std::string thrown;
        std::string logged;
    };
    const Case cases[] = {
        {"read or write answer",
         [&]
         {
             const Tolv::ByteVector expected{0x01, 0xFD, 0x0E, 0x02};
             EXPECT_FALSE(Tolv::WaitConfigResponse(silent, config, module, 0xA3, 1, &expected));
         },
         "", "No response from module within 1 s"},
        {"update status", [&] { Tolv::WaitUpdateStatus(silent, config, module, 1); }, "No update status from module",
         "No update status from module within 1 s"},
        {"logs", [&] { Tolv::GetLogs(silent, config, 1); }, "No response from module",
         "No response from module within 1 s"},
        {"missing frames", [&] { Tolv::MissingFrameRequest(silent, config, 1); }, "No response from module",
         "No response from module within 1 s"},
    };
    for (const Case &c : cases)
    {
        LogCapture capture;
        std::string thrown;
        try
        {
            c.wait();
        }
        catch (const std::runtime_error &e)
        {
            thrown = e.what();
        }
        EXPECT_EQ(thrown, c.thrown) << c.what;
        EXPECT_TRUE(capture.Contains(".cpp:")) << c.what; // an error line
        EXPECT_TRUE(capture.Contains(" " + c.logged + "\n")) << c.what << ": " << capture.Text();
    }
}
