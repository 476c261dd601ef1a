// The test frame (--send-frame) end to end: the built program sends one encrypted
// SND-IR that the emulator's concentrators decrypt and check, and prints their answers.
#include "Aes128Cbc.h"
#include "Concentrator.h"
#include "EmulatorTest.h"
#include "Tolv_Receive.h"
#include "mbus-protocol.h"
#include "mbus-xml.h"

#include <cstdlib>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <thread>

namespace
{

using ModemEmu::Concentrator;
using ModemEmu::ConcentratorConfig;
using namespace std::chrono_literals;

bool Eventually(const std::function<bool()> &done, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done())
    {
        if (std::chrono::steady_clock::now() >= end)
        {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

// The rendering time and the access number are not ours to fix.
std::string Stable(const std::string &document)
{
    return std::regex_replace(NoDates(document), std::regex("<AccessNumber>[0-9]+</AccessNumber>"),
                              "<AccessNumber>A</AccessNumber>");
}

class SendFrameTask : public EmulatorTest
{
protected:
    void SetUp() override
    {
        ModemEmu::ModemIdentity identity;
        identity.manufacturer = 0x6AD2;
        identity.id = 0x78563412;
        identity.version = 0x07;
        identity.type = 0x37;
        modem.SetIdentity(identity);
    }

    std::shared_ptr<Concentrator> AddConcentrator(uint32_t id, uint32_t uid, uint8_t uplink, uint8_t signal,
                                                  std::chrono::milliseconds delay)
    {
        ConcentratorConfig config;
        config.name = "concentrator " + std::to_string(id);
        config.address = ModemEmu::RadioFrame::MakeAddress(id, 0x6AD2, 0x01, 0x31);
        config.key = ModemEmu::Aes128Cbc::ParseKey(DefaultKey);
        config.uid = uid;
        config.uplinkRssi = uplink;
        config.signal = signal;
        config.delay = delay;
        auto concentrator = std::make_shared<Concentrator>(config);
        modem.AddModule(concentrator);
        return concentrator;
    }
};

// Document number index (from 0) of the output, from "<mbus" to "</mbus>".
std::string Document(const std::string &out, size_t index)
{
    size_t begin = 0;
    for (size_t i = 0; i <= index; ++i)
    {
        begin = out.find("<mbus", i == 0 ? 0 : begin + 1);
        if (begin == std::string::npos)
        {
            return "";
        }
    }
    const size_t end = out.find("</mbus>", begin);
    return end == std::string::npos ? "" : out.substr(begin, end + 7 - begin);
}

} // namespace

TEST_F(SendFrameTask, ConcentratorsCheckTheTestFrameAndTheirAnswersArePrinted)
{
    auto near = AddConcentrator(0x00990001, 0x12345678, 0x8A, 0xBE, 100ms);
    auto far = AddConcentrator(0x00990002, 0x87654321, 0x21, 0xF0, 400ms);
    modem.Start();

    ListenProcess &tolvern = Start("--send-frame");
    ASSERT_TRUE(tolvern.WaitFor([](const std::string &out) { return CountOf(out, "</mbus>") == 2; }, 10s))
        << tolvern.Output();
    tolvern.Kill();

    for (const auto &concentrator : {near, far})
    {
        EXPECT_TRUE(concentrator->Problems().empty()) << concentrator->Problems().front();
        ASSERT_EQ(concentrator->TestFrames().size(), 1u);
        EXPECT_EQ(concentrator->AnswerCount(), 1u);
    }
    // One frame, sent at once rather than through the mailbox, from the modem's own address.
    const std::vector<ModemEmu::HostRadioFrame> sent = modem.Record().RadioFrames();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].path, ModemEmu::RadioPath::Direct);
    EXPECT_EQ(std::vector<uint8_t>(sent[0].bytes.begin() + 1, sent[0].bytes.begin() + 11),
              (std::vector<uint8_t>{0x46, 0xD2, 0x6A, 0x12, 0x34, 0x56, 0x78, 0x07, 0x37, 0x7A}));
    EXPECT_EQ(sent[0].bytes[13], 0x20); // two encrypted blocks
    EXPECT_EQ(sent[0].bytes[14], 0x05); // mode 5

    const std::string out = tolvern.Output();
    EXPECT_EQ(out.substr(0, out.find('<')), "Got address 12345678d26a0107\n");
    // The near concentrator answers first; its status byte is the uplink, the rssi the downlink.
    EXPECT_EQ(Stable(Document(out, 0)), "<mbus date=\"D\">\n"
                                        "    <radio>\n"
                                        "        <rssi>130</rssi>\n"
                                        "        <hop>0</hop>\n"
                                        "    </radio>\n"
                                        "    <header>\n"
                                        "        <Id>00990001</Id>\n"
                                        "        <Manufacturer>ZVR</Manufacturer>\n"
                                        "        <Version>1</Version>\n"
                                        "        <Medium>Communication controller</Medium>\n"
                                        "        <AccessNumber>A</AccessNumber>\n"
                                        "        <Status>8A</Status>\n"
                                        "        <Signature>0000</Signature>\n"
                                        "        <Type>SND-NKE</Type>\n"
                                        "        <Tpl>\n"
                                        "            <Id>78563412</Id>\n"
                                        "            <Manufacturer>ZVR</Manufacturer>\n"
                                        "            <Version>7</Version>\n"
                                        "            <Medium>Radio converter (meter side)</Medium>\n"
                                        "        </Tpl>\n"
                                        "    </header>\n"
                                        "    <records>\n"
                                        "        <record type=\"inst\" unit=\"Reserved VIF extension\" "
                                        "vife=\"0x73\" storage=\"0\">305419896</record>\n"
                                        "    </records>\n"
                                        "    <raw>04FD7378563412</raw>\n"
                                        "</mbus>");
    const std::string second = Document(out, 1);
    EXPECT_NE(second.find("<rssi>30</rssi>"), std::string::npos) << second;
    EXPECT_NE(second.find("<Status>21</Status>"), std::string::npos) << second;
    EXPECT_NE(second.find("storage=\"0\">-2023406815</record>"), std::string::npos) << second; // 0x87654321
}

TEST_F(SendFrameTask, TestFrameDecodesToItsRecords)
{
    auto concentrator = AddConcentrator(0x00990001, 1, 0x10, 0xC0, 50ms);
    modem.Start();
    ListenProcess &tolvern = Start("--send-frame");
    ASSERT_TRUE(Eventually([&] { return concentrator->TestFrames().size() == 1; }, 10s));
    tolvern.Kill();

    // Decrypted as the concentrator heard it, then through our own decoder.
    const std::vector<uint8_t> air = ModemEmu::RadioFrame::DecryptMode5(modem.Record().RadioFrames().at(0).bytes,
                                                                        ModemEmu::Aes128Cbc::ParseKey(DefaultKey));
    // As the driver hands it over: 0x68, the frame with L counting the signal byte, the signal, 0x16.
    ASSERT_GT(air.size(), 11u);
    std::vector<uint8_t> received = air;
    received.at(0) = static_cast<uint8_t>(received.at(0) + 1);
    received.insert(received.begin(), 0x68);
    received.insert(received.end(), {0xC0, 0x16});
    uint8_t input[Tolv::ReceiveBufferSize];
    const int length = Tolv::BuildDecoderInput(received.data(), static_cast<int>(received.size()), input,
                                               static_cast<int>(sizeof input));
    mbus_frame frame{};
    ASSERT_EQ(mbus_parse_wmbus(&frame, input, static_cast<size_t>(length)), 0);
    mbus_frame_data *data = mbus_frame_data_new();
    ASSERT_EQ(mbus_frame_data_parse(&frame, data, nullptr), 0) << mbus_error_str();
    char *document = mbus_frame_data_xml(data);
    ASSERT_NE(document, nullptr);
    const std::string text = document;
    std::free(document);
    mbus_frame_data_free(data);

    EXPECT_NE(text.find("<Type>SND-IR</Type>"), std::string::npos) << text;
    const size_t records = text.find("    <records>\n");
    ASSERT_NE(records, std::string::npos) << text;
    EXPECT_EQ(text.substr(records, text.find("    </records>") - records),
              "    <records>\n"
              "        <record type=\"inst\" unit=\"Model / Version\" storage=\"0\">KARVO_ 1</record>\n"
              "        <record type=\"inst\" unit=\"Volume (m m^3)\" storage=\"0\">0</record>\n"
              "        <record type=\"inst\" unit=\"Volume (m m^3)\" storage=\"0\" tariff=\"0\" "
              "subunit=\"1\">0</record>\n"
              "        <record type=\"inst\" unit=\"Firmware version\" storage=\"0\">276</record>\n")
        << text;
}

TEST_F(SendFrameTask, TestFrameUnderAnotherKeyIsRefusedAndUnanswered)
{
    auto concentrator = AddConcentrator(0x00990001, 1, 0x10, 0xC0, 50ms);
    modem.Start();
    ListenProcess &tolvern = Start("-k 00112233445566778899AABBCCDDEEFF --send-frame");
    ASSERT_TRUE(Eventually([&] { return !concentrator->Problems().empty(); }, 10s));
    tolvern.Kill();
    EXPECT_EQ(concentrator->Problems().front().rfind("test frame does not start with 2F 2F", 0), 0u)
        << concentrator->Problems().front();
    EXPECT_EQ(concentrator->AnswerCount(), 0u);
}

TEST_F(SendFrameTask, BadAddressEndsTheRunBeforeSending)
{
    modem.Start();
    const ProgramRun run = Run("-a xyz --send-frame");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "Tolv_Main.cpp:N Request failed: input address parsing error\n");
    EXPECT_TRUE(modem.Record().RadioFrames().empty());
}
