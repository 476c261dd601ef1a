// Whole per-frame documents, compared text for text with the fixtures, and
// the documents that must survive hostile or oversized frames.

#include "mbus-xml.h"
#include "test_xml_support.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

using namespace wmbus_test;
using namespace xml_test;

namespace
{

std::string Fixture(const std::string &name)
{
    std::ifstream in(std::string(MBUS_XML_FIXTURES) + "/" + name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Parsed strictly: no recovery, so any fault of well-formedness is a null.
struct FreeDoc
{
    void operator()(xmlDoc *doc) const { xmlFreeDoc(doc); }
};
using XmlDoc = std::unique_ptr<xmlDoc, FreeDoc>;

XmlDoc ParseXml(const std::string &document)
{
    return XmlDoc(xmlReadMemory(document.data(), static_cast<int>(document.size()), "frame.xml", nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
}

size_t CountOf(const std::string &text, const std::string &what)
{
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

struct DocumentCase
{
    const char *fixture;
    std::vector<unsigned char> input;
};

class WholeDocument : public ::testing::TestWithParam<DocumentCase>
{
};

TEST_P(WholeDocument, MatchesFixtureTextForText)
{
    std::string document = RenderFrame(GetParam().input);
    EXPECT_EQ(WithoutDate(document), Fixture(GetParam().fixture));
    EXPECT_TRUE(ParseXml(document)) << document;
}

const DocumentCase kDocuments[] = {
    // A published gas meter frame without encryption: short header, BCD
    // volume, type F date, error flags, fillers; rssi 0xB4 gives the radio element.
    {"short_header_plain.xml",
     FromAir("2E4493157856341233037A2A0000002F2F0C1427048502046D32371F1502FD1700002F2F2F2F2F2F2F2F2F2F2F2F2F", 0xB4)},
    // Long header with a transport address (Tpl), mode 5 configuration word
    // 00 05, and records of many kinds: max/min/error_state, DIFEs with
    // tariff and subunit, LVAR text and a plain-text unit that try to break
    // out of their attribute and element, a reserved VIF extension with its
    // vife attribute, a real, a VIF 0xFB unit, LVAR hex and vendor data.
    {"long_header_mode5.xml",
     WFrame("44 D26A 78563412 01 07 72 88776655 9344 85 08 50 04 0005 2F2F 1B6E563412 426CFE04 AB516E563402 "
            "31FD1705 0DFD11 09 3E2231223D7920783C 027C07 3C223D7820226C 2A00 01FD7405 055B0000C841 02FB1A2C01 "
            "0DFD0EE3010203 0F0102ABCD",
            0x5A)},
    // CI 0x80 with no data and rssi 0: no radio, no Tpl, empty records and raw.
    {"no_data.xml", WFrame("44 D26A 78563412 01 07 80 0000000000000000 01 00 0000", 0x00)},
    // A published frame behind an extended link layer (CI 0x8C): the error document.
    {"unsupported_ci_error.xml",
     FromAir("304493444433221155378C00757288776655934455080004100500DFE2A782146D1513581CD2F83F39040CFD1078563412")},
    // Fixed-structure data (CI 0x73) with BCD counters.
    {"fixed_data.xml",
     WFrame("44 D26A 78563412 01 07 73 0000000000000000 11 00 0000 AAAA BBBB 78563412 11 00 C7 6C 12345600 99000000",
            0x40)},
    // A load profile of four 2-byte positive increments every 15 minutes after a type F time
    // (2008-05-31 23:50) and a reference volume; the all-FF element is the no-value marker,
    // which leaves a gap at its storage number.
    {"compact_profile.xml",
     WFrame("44 D26A 78563412 01 07 7A 21 00 0000 046D32371F15 04 13 E8030000 0D933E0A 52 0F 0100 0200 FFFF 0300",
            0xC8)},
};

INSTANTIATE_TEST_SUITE_P(Frames, WholeDocument, ::testing::ValuesIn(kDocuments),
                         [](const ::testing::TestParamInfo<DocumentCase> &info)
                         {
                             std::string name = info.param.fixture;
                             return name.substr(0, name.find('.'));
                         });

TEST(DocumentDate, IsTheLocalTimeOfRendering)
{
    time_t before = std::time(nullptr);
    std::string document = Take(mbus_frame_raw_xml(nullptr, 0));
    time_t after = std::time(nullptr);
    std::smatch match;
    ASSERT_TRUE(std::regex_search(document, match, std::regex("^<mbus date=\"([^\"]*)\">\n")));
    bool found = false;
    for (time_t t = before; t <= after && !found; ++t)
    {
        struct tm local;
        char text[32];
        localtime_r(&t, &local);
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
        found = match[1] == text;
    }
    EXPECT_TRUE(found) << match[1];
}

TEST(RawDocument, HoldsAllBytesInHex)
{
    const unsigned char bytes[] = {0x00, 0xFF, 0x10, 0x2F};
    EXPECT_EQ(WithoutDate(Take(mbus_frame_raw_xml(bytes, sizeof bytes))),
              "<mbus date=\"DATE\">\n    <raw>00FF102F</raw>\n</mbus>\n");
    EXPECT_EQ(WithoutDate(Take(mbus_frame_raw_xml(nullptr, 5))), "<mbus date=\"DATE\">\n    <raw></raw>\n</mbus>\n");
    // With the reason, where the error document has it; an empty one is left out.
    EXPECT_EQ(WithoutDate(Take(mbus_frame_raw_error_xml(bytes, sizeof bytes, "Start <0x68> not found"))),
              "<mbus date=\"DATE\">\n    <error>Start &lt;0x68&gt; not found</error>\n    <raw>00FF102F</raw>\n</mbus>\n");
    EXPECT_EQ(WithoutDate(Take(mbus_frame_raw_error_xml(bytes, sizeof bytes, ""))),
              "<mbus date=\"DATE\">\n    <raw>00FF102F</raw>\n</mbus>\n");
}

TEST(ErrorDocument, OmitsEmptyErrorAndEscapesText)
{
    std::vector<unsigned char> input = WFrame("44 D26A 78563412 01 07 7A 21 00 0000 0102", 0x00);
    mbus_frame frame{};
    ASSERT_EQ(mbus_parse_wmbus(&frame, input.data(), input.size()), 0);

    std::string silent = Take(mbus_frame_error_xml(&frame, ""));
    EXPECT_EQ(silent.find("<error>"), std::string::npos);
    EXPECT_EQ(silent.find("<radio>"), std::string::npos);
    EXPECT_NE(silent.find("    </header>\n    <raw>0102</raw>\n</mbus>\n"), std::string::npos) << silent;

    std::string loud = Take(mbus_frame_error_xml(&frame, "Decrypt failed <key> & \"data\""));
    EXPECT_NE(loud.find("    <error>Decrypt failed &lt;key&gt; &amp; &quot;data&quot;</error>\n"), std::string::npos);
    EXPECT_TRUE(ParseXml(loud));

    EXPECT_EQ(mbus_frame_error_xml(nullptr, "x"), nullptr);
}

TEST(FrameDataDocument, OnlyFixedAndVariableDataHaveOne)
{
    EXPECT_EQ(mbus_frame_data_xml(nullptr), nullptr);
    FrameData data(mbus_frame_data_new());
    for (int type : {MBUS_DATA_TYPE_NONE, MBUS_DATA_TYPE_ERROR, MBUS_DATA_TYPE_COMPACT})
    {
        data->type = type;
        EXPECT_EQ(mbus_frame_data_xml(data.get()), nullptr) << type;
    }
    EXPECT_EQ(mbus_data_variable_xml_wmbus(nullptr), nullptr);
    EXPECT_EQ(mbus_data_fixed_xml_wmbus(nullptr), nullptr);
}

TEST(FixedDocument, BinaryStoredCounters)
{
    mbus_data_fixed fixed{};
    const unsigned char bytes[16] = {0x78, 0x56, 0x34, 0x12, 0x05, 0xC0, 0x05, 0x2C,
                                     0xFF, 0xFF, 0xFF, 0xFF, 0x10, 0x27, 0x00, 0x00};
    std::memcpy(&fixed, bytes, sizeof fixed);
    std::string document = WithoutDate(Take(mbus_data_fixed_xml_wmbus(&fixed)));
    EXPECT_EQ(document, "<mbus date=\"DATE\">\n"
                        "    <header>\n"
                        "        <Id>12345678</Id>\n"
                        "        <Medium>Other</Medium>\n"
                        "        <AccessNumber>5</AccessNumber>\n"
                        "        <Status>C0</Status>\n"
                        "    </header>\n"
                        "    <records>\n"
                        "        <record type=\"stored\" unit=\"kWh\">-1</record>\n"
                        "        <record type=\"stored\" unit=\"m^3\">10000</record>\n"
                        "    </records>\n"
                        "</mbus>\n");
}

TEST(HeaderElements, SameAsInTheDocumentAndCutToCapacity)
{
    Rendered out;
    Render(out,
           FromAir("2E4493157856341233037A2A0000002F2F0C1427048502046D32371F1502FD1700002F2F2F2F2F2F2F2F2F2F2F2F2F",
                   0xB4));
    char header[8192];
    size_t n = mbus_data_variable_header_xml_wmbus(&out.data->header, out.data.get(), header, sizeof header);
    EXPECT_EQ(n, std::strlen(header));
    std::string document = out.document;
    size_t begin = document.find("    <radio>");
    size_t end = document.find("    <records>");
    EXPECT_EQ(std::string(header), document.substr(begin, end - begin));

    char small[20];
    n = mbus_data_variable_header_xml_wmbus(&out.data->header, out.data.get(), small, sizeof small);
    EXPECT_EQ(n, sizeof small - 1);
    EXPECT_EQ(std::string(small), std::string(header, sizeof small - 1));
}

TEST(RecordLine, VendorRecordWithoutDataHasNoLine)
{
    mbus_data_record record{};
    record.dif = 0x0F;
    EXPECT_STREQ(mbus_data_record_xml_wmbus(&record), "");
    record.data_len = 1;
    EXPECT_STREQ(mbus_data_record_xml_wmbus(&record),
                 "        <record type=\"Manufacturer specific\" storage=\"0\"></record>\n");
    EXPECT_STREQ(mbus_data_record_xml_wmbus(nullptr), "");
}

// 119 records of two bytes fill a short-header frame; their lines alone pass
// the 8192 bytes the document starts with.
TEST(LargeDocument, GrowsPastItsFirstBufferWithoutLosingLines)
{
    std::string body = "44 D26A 78563412 01 07 7A 01 00 0000 ";
    for (int i = 0; i < 119; ++i)
        body += "405B";
    std::string document = RenderFrame(WFrame(body));
    ASSERT_GT(document.size(), 8192u);
    EXPECT_EQ(
        CountOf(document, "        <record type=\"inst\" unit=\"Flow temperature (deg C)\" storage=\"1\"></record>\n"),
        119u);
    EXPECT_NE(document.find("    </records>\n    <raw>405B"), std::string::npos);
    const std::string ending = "405B</raw>\n</mbus>\n";
    EXPECT_EQ(document.compare(document.size() - ending.size(), ending.size(), ending), 0);
    EXPECT_TRUE(ParseXml(document));
}

// The longest LVAR profile (0xBF: 189 one-byte elements after the two
// profile bytes) renders 376 lines, tens of kilobytes from one frame.
TEST(LargeDocument, LongProfileGrowsTheBuffer)
{
    std::string body = "44 D26A 78563412 01 07 7A 01 00 0000 046D32371F15 0113 64 0D933EBF 01 01 ";
    for (int i = 0; i < 189; ++i)
        body += "01";
    std::string document = RenderFrame(WFrame(body));
    EXPECT_GT(document.size(), 30000u);
    EXPECT_EQ(CountOf(document, "unit=\"Time Point (time / date)\""), 1u + 188u);
    EXPECT_EQ(CountOf(document, "unit=\"Volume (m m^3)\""), 1u + 188u);
    // Absolute values (spacing control 01): each element is the value 1 itself; the element at
    // compact length - 3 is not rendered, so the last stands at storage 188.
    EXPECT_NE(document.find("storage=\"188\">1</record>\n    </records>\n"), std::string::npos);
    EXPECT_TRUE(ParseXml(document));
}

// A profile whose reference time is missing writes no lines; the records
// after it still are.
TEST(LargeDocument, ProfileWithoutReferenceTimeIsSkipped)
{
    mbus_error_reset();
    std::string document = RenderFrame(WFrame("44 D26A 78563412 01 07 7A 01 00 0000 0D933E04 12 0F 0100 01FD1705"));
    EXPECT_STREQ(mbus_error_str(), "Reference time record not found.");
    EXPECT_NE(
        document.find("    <records>\n        <record type=\"inst\" unit=\"Error flag\" storage=\"0\">5</record>\n"
                      "    </records>\n"),
        std::string::npos)
        << document;
}

// Every byte a meter could send, in an LVAR text value and in a plain-text
// unit, must give a document that parses, with the bytes readable as the
// escaping promises: Latin-1 above 0x7F, control pictures for the control
// bytes XML forbids.
TEST(HostileText, EveryByteValueGivesAWellFormedDocument)
{
    std::string expected;
    for (int c = 1; c < 256; ++c)
    {
        unsigned code = static_cast<unsigned>(c);
        if (c < 0x20 && c != 0x09 && c != 0x0A && c != 0x0D)
            code += 0x2400;
        if (code < 0x80)
            expected += static_cast<char>(code);
        else if (code < 0x800)
            expected += {static_cast<char>(0xC0 | (code >> 6)), static_cast<char>(0x80 | (code & 0x3F))};
        else
            expected += {static_cast<char>(0xE0 | (code >> 12)), static_cast<char>(0x80 | ((code >> 6) & 0x3F)),
                         static_cast<char>(0x80 | (code & 0x3F))};
    }
    std::string all;
    for (auto range : {std::pair<int, int>{1, 0x7F}, std::pair<int, int>{0x80, 0xFF}})
    {
        char hex[8];
        std::string text;
        for (int c = range.second; c >= range.first; --c)
        {
            std::snprintf(hex, sizeof hex, "%02X", c);
            text += hex;
        }
        std::snprintf(hex, sizeof hex, "%02X", range.second - range.first + 1);
        std::string document =
            RenderFrame(WFrame(std::string("44 D26A 78563412 01 07 7A 01 00 0000 0D13 ") + hex + text));
        XmlDoc doc = ParseXml(document);
        ASSERT_TRUE(doc) << document;
        xmlNode *node = xmlDocGetRootElement(doc.get())->children;
        while (node && !(node->type == XML_ELEMENT_NODE && xmlStrcmp(node->name, BAD_CAST "records") == 0))
            node = node->next;
        ASSERT_NE(node, nullptr);
        node = node->children;
        while (node && node->type != XML_ELEMENT_NODE)
            node = node->next;
        ASSERT_NE(node, nullptr);
        xmlChar *content = xmlNodeGetContent(node);
        all += reinterpret_cast<const char *>(content);
        xmlFree(content);
    }
    EXPECT_EQ(all, expected);
}

TEST(HostileText, PlainTextUnitCannotOpenAttributes)
{
    // Unit text 'u" storage="9"><x' on the wire, reversed.
    std::string unit = "u\" storage=\"9\"><x";
    std::string wire;
    char hex[4];
    for (auto it = unit.rbegin(); it != unit.rend(); ++it)
    {
        std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(*it));
        wire += hex;
    }
    std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned>(unit.size()));
    std::string document =
        RenderFrame(WFrame(std::string("44 D26A 78563412 01 07 7A 01 00 0000 017C") + hex + wire + "07"));
    XmlDoc doc = ParseXml(document);
    ASSERT_TRUE(doc) << document;
    EXPECT_NE(document.find("unit=\"u&quot; storage=&quot;9&quot;&gt;&lt;x\" storage=\"0\">7</record>"),
              std::string::npos)
        << document;
}

// The fuzz seeds (the published telegrams and frames of our own, as decoder
// input), decoded or refused, all render parseable documents.
TEST(SeedFrames, RenderWellFormedDocuments)
{
    int count = 0;
    for (const auto &entry : std::filesystem::directory_iterator(MBUS_FUZZ_SEEDS))
    {
        std::ifstream in(entry.path(), std::ios::binary);
        std::vector<unsigned char> input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::string document = RenderFrame(input);
        EXPECT_TRUE(ParseXml(document)) << entry.path() << "\n" << document;
        ASSERT_GE(document.size(), 8u);
        EXPECT_EQ(document.substr(document.size() - 8), "</mbus>\n") << entry.path();
        ++count;
    }
    EXPECT_GT(count, 5);
}

} // namespace
