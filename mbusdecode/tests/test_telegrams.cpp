// Published telegrams, rebuilt as the command-line program hands them to the
// decoder: each is decoded, or refused with the right code and text.

#include "mbus-protocol.h"
#include "wmbus_frames.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using wmbus_test::FrameDataPtr;
using wmbus_test::FromAir;

namespace
{

// Name -> telegram hex, from the fixture table.
std::map<std::string, std::string> Telegrams()
{
    std::map<std::string, std::string> telegrams;
    std::ifstream file(MBUSDECODE_FIXTURES "/public-telegrams.tsv");
    std::string line;
    std::getline(file, line); // column names
    while (std::getline(file, line))
    {
        std::istringstream fields(line);
        std::string name, hex;
        std::getline(fields, name, '\t');
        std::getline(fields, hex, '\t');
        telegrams[name] = hex;
    }
    return telegrams;
}

struct Expected
{
    const char *name;
    int parseRc;
    const char *parseError;
    bool encrypted; // mode 5: only the frame layer can be checked without the key
    int records;    // -1: the data parse is not checked
    const char *id; // identification number as printed (most significant first)
    unsigned char medium;
};

TEST(PublicTelegrams, DecodeOrRefuseCleanly)
{
    const Expected cases[] = {
        // Frame format A still carries its block CRCs: byte 11 is no CI.
        {"V2", -2, "unsupported CI field 0x33", false, -1, "12345678", 0x03},
        {"V3", 0, "no errors", true, -1, "12345678", 0x03},
        {"V3-plain", 0, "no errors", false, 3, "12345678", 0x03},
        // Extended link layers are not among the accepted CIs.
        {"V4", -2, "unsupported CI field 0x8C", false, -1, "11223344", 0x37},
        {"V6", 0, "no errors", false, 16, "12345678", 0x06},
        {"V7", 0, "no errors", true, -1, "20096221", 0x06},
        {"V8", 0, "no errors", true, -1, "23699558", 0x1B},
        {"V9", 0, "no errors", true, -1, "00043094", 0x03},
        {"V12", 0, "no errors", false, 6, "58511882", 0x06},
        // One stray byte after what L covers: the trailer still comes from the end.
        {"V13", 0, "no errors", false, 5, "67991306", 0x04},
        {"V14", -2, "unsupported CI field 0x8D", false, -1, "63452869", 0x16},
    };
    auto telegrams = Telegrams();
    ASSERT_EQ(11u, telegrams.size());
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.name);
        auto input = FromAir(telegrams.at(c.name), 0x76);
        mbus_frame frame{};
        int rc = mbus_parse_wmbus(&frame, input.data(), input.size());
        EXPECT_EQ(c.parseRc, rc);
        EXPECT_STREQ(c.parseError, mbus_error_str());
        char id[16];
        std::snprintf(id, sizeof id, "%02X%02X%02X%02X", frame.link_address[5], frame.link_address[4],
                      frame.link_address[3], frame.link_address[2]);
        EXPECT_STREQ(c.id, id);
        EXPECT_EQ(c.medium, frame.link_address[7]);
        if (rc != 0)
            continue;
        EXPECT_EQ(0x76, frame.rssi);
        EXPECT_EQ(0x16, frame.stop);
        EXPECT_EQ(c.encrypted, (frame.configuration_word[1] & 0x07) == 5);
        if (c.records < 0)
            continue;
        FrameDataPtr data(mbus_frame_data_new());
        EXPECT_EQ(0, mbus_frame_data_parse(&frame, data.get(), nullptr)) << mbus_error_str();
        EXPECT_EQ(static_cast<size_t>(c.records), data->nrecords);
    }
}

TEST(PublicTelegrams, EncryptedTwinDiffersOnlyByItsVerificationBytes)
{
    auto telegrams = Telegrams();
    auto encrypted = FromAir(telegrams.at("V3"));
    auto plain = FromAir(telegrams.at("V3-plain"));
    mbus_frame a{}, b{};
    ASSERT_EQ(0, mbus_parse_wmbus(&a, encrypted.data(), encrypted.size()));
    ASSERT_EQ(0, mbus_parse_wmbus(&b, plain.data(), plain.size()));
    // Mode 5 skips the two verification bytes that the plain twin keeps as 2F 2F.
    EXPECT_EQ(b.data_size - 2, a.data_size);
    EXPECT_EQ(0x2F, b.data[0]);
    EXPECT_EQ(0x2A, a.access_number);
}

TEST(PublicTelegrams, PlainTwinValues)
{
    auto plain = FromAir(Telegrams().at("V3-plain"));
    mbus_frame frame{};
    ASSERT_EQ(0, mbus_parse_wmbus(&frame, plain.data(), plain.size()));
    FrameDataPtr data(mbus_frame_data_new());
    ASSERT_EQ(0, mbus_frame_data_parse(&frame, data.get(), nullptr));
    std::vector<std::string> values;
    for (const mbus_data_record *r = data->records; r; r = r->next)
        values.push_back(mbus_data_record_value(r));
    // 28504.27 m^3 (BCD with VIF 0x14), the type F date as an integer, error flags 0.
    EXPECT_EQ((std::vector<std::string>{"2850427", "354367282", "0"}), values);
}

} // namespace
