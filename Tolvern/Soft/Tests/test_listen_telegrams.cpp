// The published telegrams (fixtures/receive/public-telegrams.tsv, a copy of the
// shared test data) delivered through the emulated modem, which adds the signal
// byte and lets L count it: each is decrypted with its key and decoded, or
// refused with the error that names what is wrong with it. Telegrams built here
// carry what no published one at hand shows; each states the values it encodes.
// Every document printed is well-formed and has records or a reason.
#include "HexBytes.h"
#include "ListenModem.h"
#include "OutputText.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>

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
    const char *hex = nullptr; // the air frame; none: the published telegram of that name
    const char *key = nullptr; // none: the published key
};

// Each document of the output: well-formed, and with records or a non-empty error.
void ExpectDocumentsShowSomething(const std::string &out)
{
    size_t from = 0;
    while ((from = out.find("<mbus ", from)) != std::string::npos)
    {
        const size_t end = out.find("</mbus>\n", from);
        ASSERT_NE(end, std::string::npos) << out.substr(from);
        const std::string document = out.substr(from, end + 8 - from);
        xmlDoc *doc = xmlReadMemory(document.data(), static_cast<int>(document.size()), "frame.xml", nullptr,
                                    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
        EXPECT_NE(doc, nullptr) << document;
        xmlFreeDoc(doc);
        const bool records = document.find("<record ") != std::string::npos;
        const bool error = document.find("<error>") != std::string::npos &&
                           document.find("<error></error>") == std::string::npos;
        EXPECT_TRUE(records || error) << document;
        from = end;
    }
}

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
    Telegram telegram = c.hex != nullptr ? Telegram{c.hex, ""} : telegrams.at(c.name);
    if (c.key != nullptr)
    {
        telegram.key = c.key;
    }

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
    ExpectDocumentsShowSomething(out);
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

// Values that earlier went wrong, or failures that looked like success.
const Case MendedCases[] = {
    // A wrong key is an error, not a frame without records.
    {"V3 with a wrong key",
     {"AES with iv\n", "Decrypt failed ... (buffer_len:52)\n", "<Signature>0520</Signature>",
      "    <error>Decryption failed: check the AES key</error>\n"},
     {},
     "2E4493157856341233037A2A0020055923C95AAA26D1B2E7493B013EC4A6F6D3529B520EDFF0EA6DEFC99D6D69EBF3",
     "0102030405060708090A0B0C0D0E0F12"},
    // V3 with security mode 21 (second configuration byte 0x15): five bits, so no mode 5.
    {"V3 in mode 21",
     {"Decrypt failed ... (buffer_len:52)\n", "<Signature>1520</Signature>", "<error>Unsupported encryption</error>"},
     {"AES with"},
     "2E4493157856341233037A2A0020155923C95AAA26D1B2E7493B013EC4A6F6D3529B520EDFF0EA6DEFC99D6D69EBF3",
     "0102030405060708090A0B0C0D0E0F11"},
    // Signed integers of 1-3 bytes and negative BCD, in a built frame of the V3 meter: -15.73 C
    // outside (DB F9), -100.00 C flow (F0 D8), -335 HCA units (B1 FE), -1 litre (FF FF FF),
    // -22 W (BCD 22 00 00 F0); the error flags 0x8000 stay a bit field.
    {"signed values",
     {"unit=\"External temperature (10^-2 deg C)\" storage=\"0\">-1573</record>",
      "unit=\"Flow temperature (10^-2deg C)\" storage=\"0\">-10000</record>",
      "unit=\"Units for H.C.A.\" storage=\"0\">-335</record>", "unit=\"Volume (m m^3)\" storage=\"0\">-1</record>",
      "unit=\"Power (W)\" storage=\"0\">-22</record>", "unit=\"Error flag\" storage=\"0\">32768</record>"},
     {"<error>", "63963", "55536", "65201", "4294967295"},
     "2A4493157856341233037A2B0000000265DBF90259F0D8026EB1FE0313FFFFFF0C2B220000F002FD170080"},
    // An absolute profile (spacing control 0x32: absolute, days, 16 bits) after the type G date
    // 2026-02-09 (49 32) and 1000 m m^3 at storage 1: the meter sent 99, 52, 10, 0 for the four
    // days after it, which pack as 2026-02-10 (4A 32, 12874) on. Time and value line of each
    // element share its storage number.
    {"absolute profile",
     {"unit=\"Time Point (date)\" storage=\"2\">12874</record>", "unit=\"Volume (m m^3)\" storage=\"2\">99</record>",
      "unit=\"Time Point (date)\" storage=\"3\">12875</record>", "unit=\"Volume (m m^3)\" storage=\"3\">52</record>",
      "unit=\"Time Point (date)\" storage=\"4\">12876</record>", "unit=\"Volume (m m^3)\" storage=\"4\">10</record>",
      "unit=\"Time Point (date)\" storage=\"5\">12877</record>", "unit=\"Volume (m m^3)\" storage=\"5\">0</record>"},
     {"<error>", ">1099<"},
     "264493157856341233037A2C000000426C49324413E80300004D933C0A3201630034000A000000"},
    // V3's records (28504.27 m3, 2008-05-31 23:50, error flags 0) as a meter without transport
    // header sends them (CI 0x78).
    {"V3 records without transport header",
     {" no header\n", "<AccessNumber>0</AccessNumber>",
      "unit=\"Volume (10^-2 m^3)\" storage=\"0\">2850427</record>",
      "unit=\"Time Point (time / date)\" storage=\"0\">354367282</record>",
      "unit=\"Error flag\" storage=\"0\">0</record>"},
     {"Decrypt failed", "<error>"},
     "1B449315785634123303780C1427048502046D32371F1502FD170000"},
};

std::string TestName(const ::testing::TestParamInfo<Case> &info)
{
    std::string name = info.param.name;
    for (char &ch : name)
    {
        ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Published, PublicTelegram, ::testing::ValuesIn(Cases), TestName);
INSTANTIATE_TEST_SUITE_P(Mended, PublicTelegram, ::testing::ValuesIn(MendedCases), TestName);
