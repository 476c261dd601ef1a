#include "LogCapture.h"
#include "OutputText.h"
#include "TempDir.h"
#include "TestHex.h"
#include "Tolv_ConfigPayload.h"
#include "Tolv_XmlFormatError.h"

#include <gtest/gtest.h>

#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{

// The children of a template item, each as it stands between its tags.
struct ItemFields
{
    std::string name = "item", pretty_name = "P", description = "D", vib, dib, access_right = "rw";
    std::string validation = "<validation/>"; // the whole element
    std::string section = "S";
};

std::string TemplateOf(const ItemFields &f, const std::string &doctype = "")
{
    return doctype + "<template><id>t</id><configs><config><name>" + f.name + "</name><pretty_name>" + f.pretty_name +
           "</pretty_name><description>" + f.description + "</description><vib>" + f.vib + "</vib><dib>" + f.dib +
           "</dib><access_right>" + f.access_right + "</access_right>" + f.validation + "<section>" + f.section +
           "</section></config></configs></template>\n";
}

// A template directory with one template of one item, and a configuration
// file that gives that item one value.
class OneItem
{
public:
    OneItem(const std::string &dib, const std::string &vib, const std::string &value,
            const std::string &validation = "<validation/>")
        : OneItem(TemplateOf({"item", "P", "D", vib, dib, "rw", validation, "S"}), value)
    {
    }

    OneItem(const std::string &templateText, const std::string &value)
    {
        dir.Write("t.xml", templateText);
        WriteConfig("<config id=\"t\" hlvtb_version=\"1.2\">\n\t<item>" + value + "</item>\n</config>\n");
    }

    void WriteConfig(const std::string &text) { dir.Write("c.cfg", text); }

    Tolv::ByteVector Encode(bool readMode) const
    {
        Tolv::ByteVector out;
        Tolv::BuildConfigPayload(ConfigPath(), dir.Path(), out, "t", readMode);
        return out;
    }

    std::string ConfigPath() const { return dir.Path("c.cfg"); }
    std::string TemplatePath() const { return dir.Path("t.xml"); }

private:
    TempDir dir;
};

const std::string Key = "00112233445566778899AABBCCDDEEFF";
const std::string KeyBytes = "00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF";
const std::string Zeros16 = "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00";

} // namespace

TEST(ItemEncoding, DibVibAndValue)
{
    struct Case
    {
        std::string dib, vib, value;
        bool readMode;
        std::string expected;
    };
    const Case cases[] = {
        {"0x04", "0x13", "300", false, "04 13 2C 01 00 00"},
        {"0x02", "0x13", "0x1234", false, "02 13 34 12"},
        {"0x02", "0x13", "-1", false, "02 13 FF FF"},
        {"0x01", "0x13", "255", false, "01 13 FF"},
        {"0x01", "0x13", "-128", false, "01 13 80"},
        {"0x01", "0x13", " 7\n", false, "01 13 07"},
        {"0x01", "0x13", "", true, "01 13 00"}, // a read names the item; its value is a placeholder
        {"0x07", "0x13", "18446744073709551615", false, "07 13 FF FF FF FF FF FF FF FF"},
        {"0x07", "0x13", "-9223372036854775808", false, "07 13 00 00 00 00 00 00 00 80"},
        {"0x03", "0x13", "0x010203", false, "03 13 03 02 01"},
        {"0x06", "0x13", "1", false, "06 13 01 00 00 00 00 00"},
        {"0x07", "0x13", "0x0102030405060708", false, "07 13 08 07 06 05 04 03 02 01"},
        {"0x00", "0x13", "", false, "00 13"},
        {"0x80", "0x13", "0", false, "80 00 13"},
        {"0x8400", "0x13", "1", false, "84 00 13 01 00 00 00"},
        {"0x840010", "0x13", "1", false, "84 10 13 01 00 00 00"},
        {"4", "0xFD19", "1", false, "04 FD 19 01 00 00 00"},
        {"0x04", "19", "1", false, "04 13 01 00 00 00"},
        {"0x01", "0", "5", false, "01 05"},
        {"0x01", "", "5", false, "01 05"}, // an element without text reads as 0
        {" 0x01\n", "\t19 ", "5", false, "01 13 05"},
        {"16909060", "0xFFFFFFFF", "", true, "01 02 03 04 FF FF FF FF 00"}, // 0x01020304: DIF 01
        // Lengths follow the DIF's data field; storage and function bits do not count.
        {"0x44", "0x13", "1", false, "44 13 01 00 00 00"},
        {"0x32", "0x13", "1", false, "32 13 01 00"},
        {"0x05", "0x13", "1", false, "05 13 01 00 00 00"},
        {"0x08", "0x13", "", false, "08 13"},
        {"0x0C", "0x13", "1", false, "0C 13 01 00 00 00"},
        {"0x0E", "0x13", "1", false, "0E 13 01 00 00 00 00 00"},
        {"0x0D", "0xFD19", Key, false, "0D FD 19 10 " + KeyBytes},
        {"0x0D", "0xFD19", Key, true, "0D FD 19 10 " + KeyBytes},
        {"0x0D", "0xFD19", "", true, "0D FD 19 " + Zeros16},
        {"0x0D", "0xFD19", "\n  " + Key + "\n", false, "0D FD 19 10 " + KeyBytes},
        {"0x8D00", "0xFD19", Key, false, "8D 00 FD 19 10 " + KeyBytes},
        {"0x4D", "0xFD19", Key, false, "4D FD 19 10 " + KeyBytes},
    };
    for (const Case &c : cases)
    {
        LogCapture quiet;
        const OneItem item(c.dib, c.vib, c.value);
        EXPECT_EQ(Hex(item.Encode(c.readMode)), c.expected)
            << "dib " << c.dib << " vib " << c.vib << " value " << c.value;
    }
}

// A number field of the template that holds no number, or more than 32 bits, refuses the
// template, naming its file, the item and the field; the lenient reading would have sent 0 or
// the number's first digits.
TEST(ItemEncoding, TemplateNumbersThatAreNoNumberRefuseTheTemplate)
{
    struct Case
    {
        std::string dib, vib, validation;
        std::string field; // what the refusal says of it
    };
    const Case cases[] = {
        {"0x01", "0xZZ", "<validation/>", "vib \"0xZZ\" is not a number"},
        {"one", "0x13", "<validation/>", "dib \"one\" is not a number"},
        {"0x01", "0x13z", "<validation/>", "vib \"0x13z\" is not a number"},
        {"1 2", "0x13", "<validation/>", "dib \"1 2\" is not a number"},
        {"0x01", "0x", "<validation/>", "vib \"0x\" is not a number"}, // decimal text, not hexadecimal
        {"0x01", "0X19", "<validation/>", "vib \"0X19\" is not a number"},
        {"0x01", "-1", "<validation/>", "vib \"-1\" is not a number"},
        {"0x01", "0x100000000", "<validation/>", "vib \"0x100000000\" does not fit in 32 bits"},
        {"4294967296", "0x13", "<validation/>", "dib \"4294967296\" does not fit in 32 bits"},
    };
    for (const Case &c : cases)
    {
        LogCapture quiet;
        const OneItem item(c.dib, c.vib, "5", c.validation);
        for (const bool readMode : {true, false})
        {
            try
            {
                item.Encode(readMode);
                ADD_FAILURE() << "accepted " << c.field;
            }
            catch (const std::runtime_error &e)
            {
                EXPECT_EQ(std::string(e.what()), "Template file " + item.TemplatePath() + ", item item: " + c.field);
            }
        }
    }
    // The limits are the GUI's to check: whatever they hold, the item is encoded.
    for (const char *validation :
         {"<validation><min>-2147483648</min><max>+2147483647</max></validation>",
          "<validation><min>ten</min><max>5s</max></validation>", "<validation><max>2147483648</max></validation>"})
    {
        LogCapture quiet;
        EXPECT_EQ(Hex(OneItem("0x01", "0x13", "5", validation).Encode(false)), "01 13 05") << validation;
    }
}

// A field that a request is built from and that would be read in part would address the module
// with what nobody wrote: the comment in "0xFF<!-- -->3A" cut the VIB to FF, an entity reference
// made it 0. The fields only the GUI shows never refuse the template.
TEST(ItemEncoding, SentTemplateFieldsThatHoldMoreThanTheirTextRefuseTheTemplate)
{
    ItemFields plain;
    plain.vib = "0x13";
    plain.dib = "0x01";
    struct Case
    {
        std::string field;   // the field the case changes
        std::string text;    // what it holds then
        std::string refusal; // after "Template file <path>, "; "" when the item is encoded all the same
    };
    const Case cases[] = {
        {"vib", "0xFF<!-- was 3A -->3A", "item item: vib holds a comment besides its text"},
        {"vib", "&v;", "item item: vib holds an entity reference &v; besides its text"},
        {"dib", "0x<b>01</b>", "item item: dib holds an element <b> besides its text"},
        {"name", "it<!-- x -->em", "item item: name holds a comment besides its text"},
        // The refusal names the item as it is written, not with an empty label.
        {"name", "&v;", "item &v;: name holds an entity reference &v; besides its text"},
        {"pretty_name", "Send <b>period</b>", ""},
        {"pretty_name", "&v;", ""},
        {"description", "Seconds<br/>between frames<!-- in s -->", ""},
        {"access_right", "r<!-- w -->", ""},
        {"section", "S<?note x?>", ""},
        {"validation", "<validation><min>1<!-- x -->0</min><regex>&v;</regex></validation>", ""},
    };
    const std::string doctype = "<!DOCTYPE template [<!ENTITY v \"0xFF3A\">]>\n";
    for (const Case &c : cases)
    {
        ItemFields fields = plain;
        std::string &changed = c.field == "vib"            ? fields.vib
                               : c.field == "dib"          ? fields.dib
                               : c.field == "name"         ? fields.name
                               : c.field == "pretty_name"  ? fields.pretty_name
                               : c.field == "description"  ? fields.description
                               : c.field == "access_right" ? fields.access_right
                               : c.field == "section"      ? fields.section
                                                           : fields.validation;
        changed = c.text;
        LogCapture quiet;
        const OneItem item(TemplateOf(fields, doctype), "5");
        for (const bool readMode : {true, false})
        {
            try
            {
                EXPECT_EQ(Hex(item.Encode(readMode)), "01 13 05") << c.text;
                EXPECT_EQ(c.refusal, "") << c.text;
            }
            catch (const std::runtime_error &e)
            {
                EXPECT_EQ(std::string(e.what()), "Template file " + item.TemplatePath() + ", " + c.refusal) << c.text;
            }
        }
    }
    // A label made only of an entity would show empty: the item's name stands in for it.
    ItemFields entityLabel = plain;
    entityLabel.pretty_name = "&v;";
    {
        LogCapture trace(LogLevel::Trace, LogModule::Tolv);
        OneItem(TemplateOf(entityLabel, doctype), "5").Encode(false);
        EXPECT_TRUE(trace.Contains("Add item, item, D, 13, 1, rw, ")) << trace.Text();
    }
    // Text in pieces that are all text (a CDATA section among them) is read whole, as before.
    LogCapture quiet;
    ItemFields cdata = plain;
    cdata.vib = "0x<![CDATA[13]]>";
    cdata.description = "<![CDATA[a < b]]>";
    EXPECT_EQ(Hex(OneItem(TemplateOf(cdata, doctype), "5").Encode(false)), "01 13 05");
}

// Each refusal names the file and what it found there, and nothing that is not its cause is
// logged as an error before it.
TEST(ItemEncoding, RefusalsNameWhatTheyFound)
{
    ItemFields fields;
    fields.vib = "0x13";
    fields.dib = "0x01";
    const std::string doctype = "<!DOCTYPE config [<!ENTITY p \"300\">]>\n";
    const std::string root = "<config id=\"t\" hlvtb_version=\"1.2\">";
    struct Case
    {
        std::string templateText;
        std::string config;
        std::string thrown; // <config> and <template> stand for the files' paths
        std::string logged; // the error line before it, "" for none
    };
    const std::string valueError = "Invalid value of config item item";
    const Case cases[] = {
        {TemplateOf(fields), root + "<item>5<!-- s --></item></config>", valueError,
         "Config item item in <config>: value holds a comment besides its text"},
        {TemplateOf(fields), root + "<item><b>5</b></item></config>", valueError,
         "Config item item in <config>: value holds an element <b> besides its text"},
        {TemplateOf(fields), doctype + root + "<item>&p;</item></config>", valueError,
         "Config item item in <config>: value holds an entity reference &p; besides its text"},
        {TemplateOf({"item", "P", "D", "0xFD19", "0x0D", "rw", "<validation/>", "S"}),
         root + "<item>00112233445566778899<!-- key -->AABBCCDDEEFF</item></config>", valueError,
         "Config item item in <config>: value holds a comment besides its text"},
        {TemplateOf(fields), root + "</config>", "Config file <config> names no item", ""},
        {TemplateOf(fields), root + "<!-- <item>5</item> -->text</config>", "Config file <config> names no item", ""},
        {"<template><id>t<!-- c --></id><configs/></template>", root + "<item>5</item></config>",
         "Template file <template>: id holds a comment besides its text", ""},
    };
    for (const Case &c : cases)
    {
        OneItem item(c.templateText, "5");
        item.WriteConfig(c.config);
        const auto paths = [&item](const std::string &text)
        {
            return std::regex_replace(std::regex_replace(text, std::regex("<config>"), item.ConfigPath()),
                                      std::regex("<template>"), item.TemplatePath());
        };
        for (const bool readMode : {true, false})
        {
            LogCapture capture;
            try
            {
                item.Encode(readMode);
                ADD_FAILURE() << "accepted " << c.config;
            }
            catch (const std::runtime_error &e)
            {
                EXPECT_EQ(std::string(e.what()), paths(c.thrown)) << c.config;
            }
            const std::string expected = c.logged.empty() ? "" : "Tolv_ConfigFile.cpp:N " + paths(c.logged) + "\n";
            EXPECT_EQ(NoLineNumbers(capture.Text()), expected) << c.config;
        }
    }
}

// The file carries the id of the template it was written for and names each item once.
TEST(ItemEncoding, ConfigurationFileForAnotherTemplateOrWithAnItemTwiceIsRefused)
{
    struct Case
    {
        std::string root;    // the configuration file's root start tag
        std::string items;   // its elements
        std::string refusal; // "" for a file that encodes; <file> stands for its path
    };
    const Case cases[] = {
        {"<config id=\"t\" hlvtb_version=\"1.2\">", "<item>5</item>", ""},
        {"<config hlvtb_version=\"1.2\">", "<item>5</item>", ""}, // no id: taken with the one asked for
        {"<config id=\"other_01\" hlvtb_version=\"1.2\">", "<item>5</item>",
         "Config file <file> is for template \"other_01\", not for template \"t\""},
        {"<config id=\"T\">", "<item>5</item>", "Config file <file> is for template \"T\", not for template \"t\""},
        {"<config id=\"\">", "<item>5</item>", "Config file <file> is for template \"\", not for template \"t\""},
        {"<config id=\"t\">", "<item>5</item><item>6</item>", "Config item item is named twice in <file>"},
        {"<config>", "<item>5</item><!-- again --><item>5</item>", "Config item item is named twice in <file>"},
    };
    for (const Case &c : cases)
    {
        OneItem item("0x01", "0x13", "5");
        item.WriteConfig(c.root + c.items + "</config>\n");
        for (const bool readMode : {true, false})
        {
            LogCapture quiet;
            try
            {
                const Tolv::ByteVector bytes = item.Encode(readMode);
                EXPECT_EQ(c.refusal, "") << c.root << c.items;
                EXPECT_EQ(Hex(bytes), "01 13 05");
            }
            catch (const Tolv::XmlFormatError &e)
            {
                EXPECT_EQ(std::string(e.what()), std::regex_replace(c.refusal, std::regex("<file>"), item.ConfigPath()))
                    << c.root << c.items;
            }
        }
    }
}

TEST(ItemEncoding, RefusedValues)
{
    struct Case
    {
        std::string dib, vib, value;
        bool readMode;
        std::string thrown;
        std::string logged;
    };
    const Case cases[] = {
        {"0x0D", "0x13", Key, false, "LVAR not supported for this vif/vife", "LVAR not supported for this vif/vife"},
        {"0x0D", "0xFD19", Key.substr(0, 31), false, "Invalid AES key size", "Invalid AES key size 31"},
        {"0x0D", "0xFD19", Key + "0", false, "Invalid AES key size", "Invalid AES key size 33"},
        {"0x0D", "0xFD19", "", false, "Invalid AES key size", "Invalid AES key size 0"},
        {"0x0D", "0xFD19", "abc", true, "Invalid AES key size", "Invalid AES key size 3"},
        {"0x0D", "0xFD19", "0011223344556677889XAABBCCDDEEFF", false, "Invalid AES key", "Invalid AES key"},
        {"0x0D", "0xFD19", Key.substr(0, 8) + " " + Key.substr(9), false, "Invalid AES key", "Invalid AES key"},
    };
    for (const Case &c : cases)
    {
        LogCapture capture;
        const OneItem item(c.dib, c.vib, c.value);
        try
        {
            item.Encode(c.readMode);
            ADD_FAILURE() << "accepted " << c.value;
        }
        catch (const Tolv::XmlFormatError &e)
        {
            EXPECT_EQ(std::string(e.what()), c.thrown) << c.value;
        }
        EXPECT_TRUE(capture.Contains(" " + c.logged)) << capture.Text();
    }
}

TEST(ItemEncoding, ValuesThatAreNoNumberOrDoNotFitAreNeverEncoded)
{
    struct Case
    {
        std::string dib, value;
        bool readMode;
        std::string why; // after "Config item item in <file>: "
    };
    const std::string nines(5000, '9');
    const Case cases[] = {
        {"0x01", "abc", false, "value \"abc\" is not a number"},
        {"0x01", "abc", true, "value \"abc\" is not a number"},
        {"0x02", "0xZZ", false, "value \"0xZZ\" is not a number"},
        {"0x02", "0x", false, "value \"0x\" is not a number"},
        {"0x02", "0X1F", false, "value \"0X1F\" is not a number"}, // only a lower-case x is hexadecimal
        {"0x02", "1x5", false, "value \"1x5\" is not a number"},
        {"0x02", "12abc", false, "value \"12abc\" is not a number"},
        {"0x02", "1.5", false, "value \"1.5\" is not a number"},
        {"0x02", "-", false, "value \"-\" is not a number"},
        {"0x01", "", false, "no value to write"},
        {"0x01", "300", false, "value \"300\" does not fit in 1 byte"},
        {"0x01", "256", false, "value \"256\" does not fit in 1 byte"},
        {"0x01", "-129", false, "value \"-129\" does not fit in 1 byte"},
        {"0x02", "70000", true, "value \"70000\" does not fit in 2 bytes"},
        {"0x04", "0x100000000", false, "value \"0x100000000\" does not fit in 4 bytes"},
        {"0x04", nines, false, "value \"" + nines.substr(0, 40) + "...\" does not fit in 4 bytes"},
        {"0x07", "18446744073709551616", false, "value \"18446744073709551616\" does not fit in 8 bytes"},
        {"0x07", "-9223372036854775809", false, "value \"-9223372036854775809\" does not fit in 8 bytes"},
        {"0x00", "5", false, "value \"5\" does not fit in 0 bytes"}, // no data: 5 would go nowhere
    };
    for (const Case &c : cases)
    {
        LogCapture capture;
        const OneItem item(c.dib, "0x13", c.value);
        try
        {
            item.Encode(c.readMode);
            ADD_FAILURE() << "accepted " << c.value.substr(0, 50);
        }
        catch (const Tolv::XmlFormatError &e)
        {
            EXPECT_STREQ(e.what(), "Invalid value of config item item") << c.value.substr(0, 50);
        }
        EXPECT_TRUE(capture.Contains(".cpp:")) << capture.Text(); // an error line
        EXPECT_TRUE(capture.Contains(" Config item item in " + item.ConfigPath() + ": " + c.why + "\n"))
            << capture.Text();
    }
}
