// The published telegrams (fixtures/receive/public-telegrams.tsv, a copy of the
// shared test data) delivered through the emulated modem, which adds the signal
// byte and lets L count it: each is decrypted with its key and decoded, or
// refused with the error that names what is wrong with it.
#include "HexBytes.h"
#include "ListenModem.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace
{

struct Telegram
{
    std::string hex;
    std::string key; // empty: none published
};

std::map<std::string, Telegram> Telegrams()
{
    std::map<std::string, Telegram> telegrams;
    std::ifstream file(std::string(TOLV_FIXTURES_DIR) + "/receive/public-telegrams.tsv");
    std::string line;
    std::getline(file, line); // column names
    while (std::getline(file, line))
    {
        std::istringstream fields(line);
        std::string name;
        Telegram telegram;
        std::getline(fields, name, '\t');
        std::getline(fields, telegram.hex, '\t');
        std::getline(fields, telegram.key, '\t');
        telegrams[name] = telegram;
    }
    return telegrams;
}

struct Case
{
    const char *name;
    std::vector<std::string> present; // parts of the output, in this order
    std::vector<std::string> absent;
};

void PrintTo(const Case &c, std::ostream *out)
{
    *out << c.name;
}

class PublicTelegram : public ListenModem, public ::testing::WithParamInterface<Case>
{
};

} // namespace

TEST_P(PublicTelegram, DecodedOrRefusedCleanly)
{
    const Case &c = GetParam();
    const std::map<std::string, Telegram> telegrams = Telegrams();
    ASSERT_EQ(telegrams.size(), 11u);
    const Telegram &telegram = telegrams.at(c.name);

    Start(telegram.key.empty() ? "-l" : "-l -k " + telegram.key);
    modem.ReceiveRadio(ModemEmu::ParseHex(telegram.hex));
    // A good frame after it shows that listening went on.
    modem.ReceiveRadio(MeterFrame(0x44, 0x99, MeterData()));
    ASSERT_TRUE(WaitDocuments(2)) << program->Output();
    const std::string out = program->Output();
    size_t from = 0;
    for (const std::string &part : c.present)
    {
        const size_t at = out.find(part, from);
        ASSERT_NE(at, std::string::npos) << "missing: " << part << "\n" << out;
        from = at + part.size();
    }
    for (const std::string &part : c.absent)
    {
        EXPECT_EQ(out.find(part), std::string::npos) << "unexpected: " << part << "\n" << out;
    }
    EXPECT_NE(out.find("<AccessNumber>153</AccessNumber>", from), std::string::npos) << out;
}

const Case Cases[] = {
    // Frame format A: the block CRCs sit where the CI should be.
    {"V2",
     {"Decrypt failed ... (buffer_len:60)\n", "mbus_parse_wmbus() return code: -2 (unsupported CI field 0x33) 37\n",
      "<error>unsupported CI field 0x33</error>"},
     {"AES with"}},
    {"V3",
     {"AES with iv\n", "<Signature>0520</Signature>", "unit=\"Volume (10^-2 m^3)\" storage=\"0\">2850427</record>",
      "unit=\"Error flag\" storage=\"0\">0</record>"},
     {"Decrypt failed", "<error>"}},
    {"V3-plain",
     {"<Signature>0000</Signature>", "unit=\"Volume (10^-2 m^3)\" storage=\"0\">2850427</record>"},
     {"AES with", "Decrypt failed", "<error>"}},
    // Decrypted behind its extended link layer (the 1234 HCA show in the clear), which the
    // decoder does not take.
    {"V4",
     {"AES with iv\n", "mbus_parse_wmbus() return code: -2 (unsupported CI field 0x8C) 39\n",
      "<error>unsupported CI field 0x8C</error>", "2F2F0B6E341200"},
     {"Decrypt failed"}},
    {"V6",
     {"<Manufacturer>SON</Manufacturer>", "unit=\"Volume (m m^3)\" storage=\"0\">5548</record>",
      "unit=\"Software version\" storage=\"0\">10002</record>"},
     {"AES with", "<error>"}},
    {"V7",
     {"AES with iv\n", "<Id>20096221</Id>", "unit=\"Volume (m m^3)\" storage=\"0\">106</record>",
      "unit=\"Model / Version\" storage=\"0\">8</record>",
      "unit=\"Parameter set identification\" storage=\"0\">4352</record>"},
     {"Decrypt failed", "<error>"}},
    {"V8",
     {"AES with iv\n", "<Status>08</Status>", "storage=\"0\">2091</record>", "storage=\"1\">2095</record>",
      "subunit=\"0\">1950</record>", "unit=\"Relative humidity (10^-1%)\" storage=\"0\">358</record>"},
     {"Decrypt failed", "<error>"}},
    // Decrypted (the fabrication number 03162296 shows in the clear), but the two plain bytes
    // after the encrypted blocks are no whole record.
    {"V9",
     {"AES with iv\n", "<error>Premature end of record at data.</error>", "<raw>0C7896221603"},
     {"Decrypt failed"}},
    {"V12", {"<Id>58511882</Id>", "unit=\"Volume (m m^3)\" storage=\"0\">1234</record>"}, {"AES with", "<error>"}},
    // The stray byte stays in the data; the trailer is read from the end.
    {"V13",
     {"<Id>67991306</Id>", "unit=\"Flow temperature (10^-1deg C)\" storage=\"0\">217</record>"},
     {"AES with", "<error>"}},
    // AES-CTR behind an extended link layer: left encrypted and refused.
    {"V14",
     {"Decrypt failed ... (buffer_len:43)\n", "mbus_parse_wmbus() return code: -2 (unsupported CI field 0x8D) 27\n",
      "<error>unsupported CI field 0x8D</error>"},
     {"AES with"}},
};

INSTANTIATE_TEST_SUITE_P(Published, PublicTelegram, ::testing::ValuesIn(Cases),
                         [](const ::testing::TestParamInfo<Case> &info)
                         {
                             std::string name = info.param.name;
                             for (char &ch : name)
                             {
                                 ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             }
                             return name;
                         });
