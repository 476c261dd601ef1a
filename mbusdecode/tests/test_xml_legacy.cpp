// The older MBusData documents of wired meters.

#include "mbus-xml.h"
#include "test_xml_support.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>

#include <cstring>

using namespace wmbus_test;
using namespace xml_test;

namespace
{

bool WellFormed(const std::string &document)
{
    xmlDoc *doc = xmlReadMemory(document.data(), static_cast<int>(document.size()), "legacy.xml", nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    xmlFreeDoc(doc);
    return doc != nullptr;
}

// A wired long frame: 68 L L 68, C, A, CI, data, checksum, 16.
std::vector<unsigned char> WiredFrame(unsigned char ci, const std::string &data)
{
    std::vector<unsigned char> body = Hex("08 01");
    body.push_back(ci);
    std::vector<unsigned char> bytes = Hex(data);
    body.insert(body.end(), bytes.begin(), bytes.end());
    unsigned char sum = 0;
    for (unsigned char b : body)
        sum = static_cast<unsigned char>(sum + b);
    std::vector<unsigned char> frame{0x68, static_cast<unsigned char>(body.size()),
                                     static_cast<unsigned char>(body.size()), 0x68};
    frame.insert(frame.end(), body.begin(), body.end());
    frame.push_back(sum);
    frame.push_back(0x16);
    return frame;
}

// Identification 12345678, M "ZVR", version 1, water, access 0x55, status 0, signature 0.
constexpr const char *kWiredHeader = "78563412 D26A 01 07 55 00 0000 ";

TEST(LegacyDocument, FixedData)
{
    mbus_data_fixed fixed{};
    const unsigned char bytes[16] = {0x78, 0x56, 0x34, 0x12, 0x05, 0x00, 0x05, 0x2C,
                                     0x12, 0x00, 0x00, 0x00, 0x34, 0x00, 0x00, 0x00};
    std::memcpy(&fixed, bytes, sizeof fixed);
    std::string document = mbus_data_fixed_xml(&fixed);
    EXPECT_TRUE(WellFormed(document)) << document;
    EXPECT_NE(document.find("<SlaveInformation>\n        <Id>12345678</Id>\n        <Medium>Other</Medium>"),
              std::string::npos)
        << document;
    EXPECT_NE(document.find("<DataRecord id=\"0\">\n        <Function>Actual value</Function>\n"
                            "        <Unit>kWh</Unit>\n        <Value>12</Value>"),
              std::string::npos)
        << document;
    EXPECT_NE(document.find("<DataRecord id=\"1\">"), std::string::npos);
    EXPECT_NE(document.find("<Unit>m^3</Unit>\n        <Value>34</Value>"), std::string::npos);
    EXPECT_STREQ(mbus_data_fixed_xml(nullptr), "");
}

TEST(LegacyDocument, VariableDataOfAChainNumbersRecordsOnward)
{
    std::vector<unsigned char> first = WiredFrame(0x72, std::string(kWiredHeader) + "0C1327048502 0DFD1103 3C6261");
    std::vector<unsigned char> second = WiredFrame(0x72, std::string(kWiredHeader) + "01FD1705");
    mbus_frame a{}, b{};
    ASSERT_EQ(mbus_parse(&a, first.data(), first.size()), 0) << mbus_error_str();
    ASSERT_EQ(mbus_parse(&b, second.data(), second.size()), 0) << mbus_error_str();
    a.next = &b;

    std::string document = Take(mbus_frame_xml(&a));
    EXPECT_TRUE(WellFormed(document)) << document;
    EXPECT_NE(document.find("        <Id>12345678</Id>\n        <Manufacturer>ZVR</Manufacturer>"), std::string::npos)
        << document;
    EXPECT_NE(document.find("<DataRecord id=\"0\">\n        <Function>Instantaneous value</Function>\n"
                            "        <Unit>Volume (m m^3)</Unit>\n        <Storage>0</Storage>\n"
                            "        <Tariff>-1</Tariff>\n        <SubUnit>-1</SubUnit>\n"
                            "        <Value>2850427</Value>"),
              std::string::npos)
        << document;
    EXPECT_NE(document.find("<Unit>Customer</Unit>"), std::string::npos);
    EXPECT_NE(document.find("<Value>ab&lt;</Value>"), std::string::npos);
    EXPECT_NE(document.find("<DataRecord id=\"2\">"), std::string::npos);
    EXPECT_NE(document.find("<Unit>Error flag</Unit>"), std::string::npos);

    FrameData data(mbus_frame_data_new());
    ASSERT_EQ(mbus_frame_data_parse(&a, data.get(), nullptr), 0);
    std::string single = Take(mbus_data_variable_xml(data.get()));
    EXPECT_TRUE(WellFormed(single));
    EXPECT_NE(single.find("<DataRecord id=\"1\">"), std::string::npos);
    EXPECT_EQ(single.find("<DataRecord id=\"2\">"), std::string::npos);
    EXPECT_EQ(mbus_data_variable_xml(nullptr), nullptr);
}

TEST(LegacyDocument, FailuresLeaveTheErrorText)
{
    // CI 0x72 with fewer than the 12 header bytes does not decode.
    std::vector<unsigned char> shortHeader = WiredFrame(0x72, "7856");
    mbus_frame frame{};
    ASSERT_EQ(mbus_parse(&frame, shortHeader.data(), shortHeader.size()), 0) << mbus_error_str();
    EXPECT_EQ(mbus_frame_xml(&frame), nullptr);
    EXPECT_STREQ(mbus_error_str(), "M-bus data parse error.");

    std::vector<unsigned char> good = WiredFrame(0x72, std::string(kWiredHeader) + "01FD1705");
    mbus_frame first{};
    ASSERT_EQ(mbus_parse(&first, good.data(), good.size()), 0);
    first.next = &frame;
    EXPECT_EQ(mbus_frame_xml(&first), nullptr);
    EXPECT_STREQ(mbus_error_str(), "M-bus variable data parse error.");
    EXPECT_EQ(mbus_frame_xml(nullptr), nullptr);
}

} // namespace
