// The xml-safe copy, the C-field names and the text writer under the documents.

#include "mbus-protocol.h"
#include "mbus-xml-writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace
{

struct EscapeCase
{
    const char *source;
    const char *expected;
};

class XmlSafe : public ::testing::TestWithParam<EscapeCase>
{
};

TEST_P(XmlSafe, RendersEachByte)
{
    char out[256];
    mbus_xml_safe(out, GetParam().source, sizeof out);
    EXPECT_STREQ(out, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Bytes, XmlSafe,
                         ::testing::Values(EscapeCase{"Heat Cost Allocator", "Heat Cost Allocator"},
                                           EscapeCase{"a&b<c>d\"e'f", "a&amp;b&lt;c&gt;d&quot;e'f"},
                                           // Tab, line feed and carriage return may be referenced...
                                           EscapeCase{"\t\n\r", "&#x9;&#xa;&#xd;"},
                                           // ...the other control bytes may not: their control pictures stand in.
                                           EscapeCase{"\x01\x08\x0b\x1f", "&#x2401;&#x2408;&#x240b;&#x241f;"},
                                           EscapeCase{"\x7f", "&#x7f;"},
                                           // Bytes above 0x7F are Latin-1, never raw (they would not be UTF-8).
                                           EscapeCase{"\x80\xe9\xff", "&#x80;&#xe9;&#xff;"}, EscapeCase{"", ""}));

TEST(XmlSafeBounds, KeepsSixPlacesForAnEscape)
{
    char out[16];
    std::memset(out, 'z', sizeof out);
    mbus_xml_safe(out, "abcdefghij", 10);
    EXPECT_STREQ(out, "abcd");
    // An escape that starts in time is written whole: at most capacity - 1 characters.
    mbus_xml_safe(out, "&&&", 7);
    EXPECT_STREQ(out, "&amp;");
    mbus_xml_safe(out, "\xff\xff", 7);
    EXPECT_STREQ(out, "&#xff;");
    // A control picture is longer than the six places: it is left out rather than cut.
    mbus_xml_safe(out, "\x01", 8);
    EXPECT_STREQ(out, "");
    mbus_xml_safe(out, "\x01\x01", 9);
    EXPECT_STREQ(out, "&#x2401;");
    mbus_xml_safe(out, "abc", 6);
    EXPECT_STREQ(out, "");
}

TEST(XmlSafeBounds, NullArguments)
{
    char out[8] = "zzzz";
    mbus_xml_safe(out, nullptr, sizeof out);
    EXPECT_STREQ(out, "");
    mbus_xml_safe(nullptr, "abc", 8);
    std::strcpy(out, "keep");
    mbus_xml_safe(out, "abc", 0);
    EXPECT_STREQ(out, "keep");
}

TEST(ControlName, ByLowNibbleAndDirection)
{
    const struct
    {
        unsigned char control;
        const char *name;
    } cases[] = {
        {0x40, "SND-NKE"}, {0x00, "ACK"},    {0x53, "SND-UD"},  {0x44, "SND-NR"}, {0x46, "SND-IR"},
        {0x06, "CNF-IR"},  {0x47, "ACC-NR"}, {0x48, "ACC-DMD"}, {0x08, "RSP-UD"}, {0x5A, "REQ-UD1"},
        {0x7B, "REQ-UD2"}, {0x41, "0x41"},   {0xFF, "0xFF"},
    };
    for (const auto &c : cases)
    {
        testing::internal::CaptureStdout();
        std::string name = mbus_control_str(c.control);
        std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_EQ(name, c.name) << std::hex << int(c.control);
        if (name.rfind("0x", 0) == 0)
            EXPECT_EQ(printed, "val:" + std::string(1, "0123456789abcdef"[c.control & 0x0F]) + "\n");
        else
            EXPECT_EQ(printed, "");
    }
}

TEST(TextWriter, CallerStorageIsCutAndTerminated)
{
    char storage[8];
    MbusXmlWriter out(storage, sizeof storage);
    out.Put("abc");
    out.PutDecimal(-42);
    out.PutHex2(0xAB, false);
    EXPECT_STREQ(storage, "abc-42a");
    EXPECT_EQ(out.Length(), 7u);
    out.Put("more");
    out.PutEscaped("&");
    EXPECT_STREQ(storage, "abc-42a");
}

TEST(TextWriter, GrowsAndHandsOverTheText)
{
    MbusXmlWriter out(4);
    std::string expected;
    for (int i = 0; i < 1000; ++i)
    {
        out.PutUnsigned(static_cast<unsigned>(i));
        expected += std::to_string(i);
    }
    const unsigned char bytes[] = {0x01, 0xFE};
    out.PutHex(bytes, sizeof bytes);
    out.PutEscaped("<\x01>");
    expected += "01FE&lt;&#x2401;&gt;";
    char *text = out.Release();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), expected);
    std::free(text);
}

TEST(TextWriter, FailedGrowthGivesNoText)
{
    MbusXmlWriter out(16);
    out.Put("kept?");
    EXPECT_FALSE(out.Reserve(static_cast<size_t>(-1) / 2));
    EXPECT_TRUE(out.Failed());
    out.Put("ignored");
    EXPECT_EQ(out.Release(), nullptr);
}

} // namespace
