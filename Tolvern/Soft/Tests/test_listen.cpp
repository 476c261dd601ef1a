// Tolvern --listen end to end: the emulated meters send, the program prints
// every frame it receives as its document.
#include "ListenModem.h"
#include "RadioFrame.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

using ModemEmu::MeterConfig;

std::string Fixture(const std::string &name)
{
    return ReadFile(std::string(TOLV_FIXTURES_DIR) + "/receive/" + name);
}

MeterConfig Meter(std::vector<Bytes> frames)
{
    MeterConfig meter;
    meter.frames = std::move(frames);
    meter.period = std::chrono::milliseconds(200);
    meter.firstDelay = std::chrono::milliseconds(50);
    meter.repeat = false;
    return meter;
}

} // namespace

TEST_F(ListenModem, PlainFramePrintedAsItsDocument)
{
    Start("-l");
    modem.AddMeter(Meter({MeterFrame(0x44, 0x10, MeterData())}));
    ASSERT_TRUE(WaitDocuments(1)) << program->Output();
    ExpectEveryFrameAcknowledged();
    EXPECT_EQ(NoDates(program->Output()), Fixture("plain.txt"));
}

// The default key, and a key given on the command line.
class ListenModeFive : public ListenModem, public ::testing::WithParamInterface<const char *>
{
};

TEST_P(ListenModeFive, FrameDecryptedWithTheKey)
{
    const std::string key = GetParam();
    Start(key == DefaultKey ? "-l" : "-l -k " + key);
    MeterConfig meter = Meter({MeterFrame(0x44, 0x21, MeterData())});
    meter.key = ModemEmu::Aes128Cbc::ParseKey(key);
    modem.AddMeter(meter);
    ASSERT_TRUE(WaitDocuments(1)) << program->Output();
    EXPECT_EQ(NoDates(program->Output()), Fixture("mode5.txt"));
}

INSTANTIATE_TEST_SUITE_P(Keys, ListenModeFive, ::testing::Values(DefaultKey, "00112233445566778899AABBCCDDEEFF"));

TEST_F(ListenModem, WrongKeyPrintsTheUndecryptedFrame)
{
    Start("-l -k 00000000000000000000000000000000");
    MeterConfig meter = Meter({MeterFrame(0x44, 0x21, MeterData())});
    meter.key = ModemEmu::Aes128Cbc::ParseKey(DefaultKey);
    modem.AddMeter(meter);
    ASSERT_TRUE(WaitDocuments(1)) << program->Output();
    EXPECT_EQ(NoDates(program->Output()), Fixture("wrong_key.txt"));
}

TEST_F(ListenModem, FrameWithBadModemCrcIsDroppedAndTheNextPrinted)
{
    ModemEmu::Fault fault;
    fault.kind = ModemEmu::FaultKind::BadCrc;
    fault.channel = 1;
    Start("-l");
    modem.InjectFault(fault);
    modem.AddMeter(Meter({MeterFrame(0x44, 0x01, MeterData()), MeterFrame(0x44, 0x02, MeterData())}));
    ASSERT_TRUE(WaitDocuments(1)) << program->Output();
    ExpectEveryFrameAcknowledged();
    const std::string out = program->Output();
    EXPECT_EQ(CountOf(out, "<mbus "), 1u) << out;
    EXPECT_NE(out.find("<AccessNumber>2</AccessNumber>"), std::string::npos) << out;
    EXPECT_TRUE(modem.Record().HasEvent("host did not acknowledge frame on channel 1"));
}

TEST_F(ListenModem, EveryFrameOfABurstIsPrintedAndAcknowledged)
{
    std::vector<Bytes> frames;
    for (uint8_t access = 1; access <= 20; ++access)
    {
        frames.push_back(MeterFrame(0x44, access, MeterData()));
    }
    MeterConfig meter = Meter(frames);
    meter.period = std::chrono::milliseconds(5);
    Start("-l");
    modem.AddMeter(meter);
    ASSERT_TRUE(WaitDocuments(frames.size())) << program->Output();
    ExpectEveryFrameAcknowledged();
    const std::string out = program->Output();
    size_t from = 0;
    for (int access = 1; access <= 20; ++access)
    {
        const std::string line = "<AccessNumber>" + std::to_string(access) + "</AccessNumber>";
        from = out.find(line, from);
        ASSERT_NE(from, std::string::npos) << line << " missing or out of order";
    }
}

TEST_F(ListenModem, FramesTheDecoderRefusesAreShownAndListeningGoesOn)
{
    Start("-l");
    // A C-field the decoder does not know, a record cut short, then a good frame.
    Bytes cut = MeterFrame(0x44, 0x02, MeterData());
    cut.resize(cut.size() - 13);
    cut[0] = static_cast<uint8_t>(cut.size() - 1);
    modem.ReceiveRadio(MeterFrame(0x45, 0x01, MeterData()));
    modem.ReceiveRadio(cut);
    modem.ReceiveRadio(MeterFrame(0x44, 0x03, MeterData()));
    ASSERT_TRUE(WaitDocuments(3)) << program->Output();
    EXPECT_EQ(NoDates(program->Output()), Fixture("refused.txt"));
}

TEST_F(ListenModem, ModeFourFrameDecryptedWithAZeroVector)
{
    // Mode 4 chains from 16 zero bytes; its notice ends its own line, so that the document
    // after it starts on a line of its own, as the GUI splits the output.
    Bytes data = MeterData();
    data.resize(32, 0x2F);
    Bytes frame = MeterFrame(
        0x44, 0x21, ModemEmu::Aes128Cbc::Encrypt(ModemEmu::Aes128Cbc::ParseKey(DefaultKey), ModemEmu::AesIv{}, data));
    frame[13] = 0x20; // two encrypted blocks
    frame[14] = 0x04; // mode 4
    Start("-l");
    modem.ReceiveRadio(frame);
    ASSERT_TRUE(WaitDocuments(1)) << program->Output();
    const std::string out = program->Output();
    EXPECT_EQ(out.rfind("AES with zero iv\n<mbus date=", 0), 0u) << out;
    EXPECT_NE(out.find("<Signature>0420</Signature>"), std::string::npos) << out;
    EXPECT_NE(out.find("unit=\"Volume (m m^3)\" storage=\"0\">12345678</record>"), std::string::npos) << out;
}
