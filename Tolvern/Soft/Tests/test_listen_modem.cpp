#include "test_listen_modem.h"

#include "ProgramRunner.h"
#include "RadioFrame.h"
#include "TestTemp.h"
#include "mbus-crc16.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <thread>

void ListenModem::SetUp()
{
    // Runs through RunTolvern inherit it; ListenProcess sets its own.
    systemRoot = TestTempPath("root").string();
    std::filesystem::create_directories(systemRoot);
    ::setenv("TOLVERN_SYSTEM_ROOT", systemRoot.c_str(), 1);
    modem.Start();
}

void ListenModem::TearDown()
{
    if (program)
    {
        program->Kill();
    }
    modem.Stop();
    EXPECT_EQ(modem.Record().ViolationText(), "");
    ::unsetenv("TOLVERN_SYSTEM_ROOT");
    std::filesystem::remove_all(systemRoot);
}

ListenProcess &ListenModem::Start(const std::string &args)
{
    std::vector<std::string> words{"-p", modem.DevicePath()};
    std::istringstream in(args);
    for (std::string word; in >> word;)
    {
        words.push_back(word);
    }
    program = std::make_unique<ListenProcess>(words);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!modem.HostAttached() && std::chrono::steady_clock::now() < end)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(modem.HostAttached()) << "Tolvern never spoke to the modem:\n" << program->Output();
    return *program;
}

bool ListenModem::WaitDocuments(size_t count, int timeoutMs)
{
    return program->WaitFor([count](const std::string &out) { return CountOf(out, "</mbus>\n") >= count; },
                            std::chrono::milliseconds(timeoutMs));
}

namespace
{

bool Unmangled(const ModemEmu::RecordedFrame &frame)
{
    return frame.raw == frame.frame.Encode();
}

// FF 03, kind "ack" with the frame's channel and alternating bit, the CRC over that
// control byte (high byte first), F5.
Bytes LinkAck(uint8_t channel, uint8_t bit)
{
    const uint8_t control = static_cast<uint8_t>(0x40 | channel << 4 | bit << 3);
    const uint16_t crc = mbus_crc16(&control, 1, MBUS_CRC16_PLAIN);
    return {0xFF, 0x03, control, static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc & 0xFF), 0xF5};
}

} // namespace

void ListenModem::ExpectEveryFrameAcknowledged()
{
    // The one worked example pins the layout independently of the CRC helper.
    ASSERT_EQ(LinkAck(1, 1), (Bytes{0xFF, 0x03, 0x58, 0x85, 0x7B, 0xF5}));

    using ModemEmu::Direction;
    auto expectedAndSent = [this]()
    {
        std::vector<Bytes> expected;
        std::vector<Bytes> sent;
        for (const ModemEmu::RecordedFrame &frame : modem.Record().Frames())
        {
            if (frame.direction == Direction::ToHost && frame.frame.Kind() == ModemEmu::FrameKind::Data &&
                Unmangled(frame))
            {
                expected.push_back(LinkAck(frame.frame.Channel(), frame.frame.Flag()));
            }
            if (frame.direction == Direction::FromHost && frame.frame.Kind() != ModemEmu::FrameKind::Data)
            {
                sent.push_back(frame.raw);
            }
        }
        return std::make_pair(expected, sent);
    };
    modem.Record().WaitUntil(
        [&]()
        {
            const auto both = expectedAndSent();
            return both.first.size() == both.second.size();
        },
        std::chrono::seconds(3));
    const auto both = expectedAndSent();
    EXPECT_FALSE(both.first.empty());
    EXPECT_EQ(both.second, both.first);
}

Bytes MeterFrame(uint8_t c, uint8_t access, const Bytes &data, uint8_t ci, uint16_t manufacturer)
{
    ModemEmu::RadioHeader header;
    header.c = c;
    header.ci = ci;
    header.access = access;
    header.manufacturer = manufacturer;
    return ModemEmu::RadioFrame::Build(header, data);
}

Bytes MeterData()
{
    return {0x2F, 0x2F, 0x0C, 0x13, 0x78, 0x56, 0x34, 0x12, 0x04, 0x6D,
            0x32, 0x37, 0x1F, 0x15, 0x02, 0xFD, 0x17, 0x00, 0x00};
}

std::string NoDates(const std::string &text)
{
    return std::regex_replace(text, std::regex(R"(date="[^"]*")"), "date=\"D\"");
}
