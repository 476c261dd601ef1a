#include "LogCapture.h"
#include "TempDir.h"
#include "TestHex.h"
#include "Tolv_ConfigPayload.h"
#include "Tolv_TemplateFile.h"
#include "Tolv_XmlFormatError.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{

namespace fs = std::filesystem;

const std::string Fixtures = TOLV_FIXTURES_DIR;
const std::string Templates = Fixtures + "/templates";

std::string Config(const std::string &name)
{
    return Fixtures + "/config/" + name;
}

// The message of what BuildConfigPayload throws, "" when it returns.
template <typename Exception>
std::string PayloadError(const std::string &config, const std::string &dir, const std::string &id)
{
    Tolv::ByteVector out;
    try
    {
        Tolv::BuildConfigPayload(config, dir, out, id, false);
    }
    catch (const Exception &e)
    {
        return e.what();
    }
    return "";
}

} // namespace

TEST(Templates, PayloadOfAGoodFileInFileOrder)
{
    LogCapture quiet;
    Tolv::ByteVector out;
    Tolv::BuildConfigPayload(Config("good.xml"), Templates, out, "my_type_01_02", false);
    EXPECT_EQ(Hex(out), "04 FD 3A 2C 01 00 00 01 FD 0E 02");
}

TEST(Templates, SearchTracesAndSkipsUnusableFiles)
{
    LogCapture capture(LogLevel::Trace);
    Tolv::ByteVector out;
    Tolv::BuildConfigPayload(Config("good.xml"), Templates, out, "my_type_01_02", true);
    EXPECT_TRUE(capture.Contains("]Search for id my_type_01_02\n"));
    EXPECT_TRUE(capture.Contains("]Failed to parse " + Templates + "/broken.xml, ignore it\n"));
    EXPECT_TRUE(capture.Contains("]Failed to parse " + Templates + "/configs_first.xml, ignore it\n"));
    EXPECT_TRUE(capture.Contains("]template id not found\n"));
    EXPECT_TRUE(capture.Contains("]template file found: " + Templates + "/meter.xml\n"));
    EXPECT_TRUE(capture.Contains("]No config item found, ignore it\n")); // the <note> in the container
    EXPECT_TRUE(capture.Contains("]Add send_period, Send period, Seconds between two frames, fd3a, 4, rw, , 10, "
                                 "86400, Radio\n"))
        << capture.Text();
    EXPECT_TRUE(capture.Contains("]Got send_period\n"));
    EXPECT_TRUE(capture.Contains("]val 300\n"));
    EXPECT_TRUE(capture.Contains("]Found for mode\n"));
}

TEST(Templates, ItemWithoutValidationIsLeftOut)
{
    LogCapture capture(LogLevel::Debug);
    const TempDir dir;
    const std::string cfg = dir.Write("c.xml", "<config><mode>3</mode><send_period>60</send_period></config>");
    std::vector<Tolv::ByteVector> items;
    Tolv::BuildConfigItems(cfg, Templates, items, "my_type_01_02");
    EXPECT_TRUE(capture.Contains("]Failed to get template item, issue: next ptr empty\n")) << capture.Text();

    // One vector per element.
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(Hex(items[0]), "01 FD 0E 03");
    EXPECT_EQ(Hex(items[1]), "04 FD 3A 3C 00 00 00");
}

TEST(Templates, AnItemTheTemplateDoesNotKnowRefusesTheWholeFile)
{
    // unknown_item is in no template; no_validation was left out of it.
    for (const char *name : {"missing_items.xml", "none_known.xml"})
    {
        for (const bool readMode : {false, true})
        {
            LogCapture capture;
            Tolv::ByteVector out;
            try
            {
                Tolv::BuildConfigPayload(Config(name), Templates, out, "my_type_01_02", readMode);
                ADD_FAILURE() << name << " accepted";
            }
            catch (const Tolv::XmlFormatError &e)
            {
                EXPECT_STREQ(e.what(), "Config item unknown_item not found in the template") << name;
            }
            EXPECT_TRUE(capture.Contains(" Config item not found in the template file\n")) << capture.Text();
            EXPECT_TRUE(capture.Contains(" Config item unknown_item in " + Config(name) + " is unknown\n"))
                << capture.Text();
        }
    }
}

TEST(Templates, FileErrorsReachTheCaller)
{
    LogCapture capture;
    struct Case
    {
        std::string config, dir, id, thrown;
    };
    const Case cases[] = {
        {Config("good.xml"), Fixtures + "/no_such_dir", "my_type_01_02", "Template file not found"},
        // A file without the id of the template it was written for is taken with the one asked for.
        {Config("no_id.xml"), Templates, "no_such_id", "Template file not found"},
        {Config("no_id.xml"), Templates, "empty_type", "Template file not found"},
        {Config("no_such_file.xml"), Templates, "my_type_01_02", "Can't open file"},
    };
    for (const Case &c : cases)
    {
        EXPECT_EQ(PayloadError<std::runtime_error>(c.config, c.dir, c.id), c.thrown) << c.config << " " << c.id;
    }
    EXPECT_TRUE(capture.Contains("Template directory parameter is not a directory " + Fixtures + "/no_such_dir\n"));
}

TEST(Templates, StructureErrorsAreXmlFormatErrors)
{
    LogCapture quiet;
    EXPECT_EQ(PayloadError<Tolv::XmlFormatError>(Config("wrong_root.xml"), Templates, "my_type_01_02"),
              "config node not found");
}

TEST(Templates, ConfigurationThatIsNotWellFormedIsRefused)
{
    // Recovery would read malformed.xml as far as it goes, and the entities of
    // external_entity.xml as empty values.
    for (const char *name : {"malformed.xml", "declaration_only.xml", "external_entity.xml", "external_dtd.xml"})
    {
        LogCapture capture;
        EXPECT_EQ(PayloadError<Tolv::XmlFormatError>(Config(name), Templates, "my_type_01_02"),
                  "File is not well-formed XML")
            << name;
        EXPECT_TRUE(capture.Contains(" Not well-formed XML in " + Config(name) + ", line ")) << capture.Text();
    }
}

TEST(Templates, TemplateThatIsNotWellFormedIsNeverUsed)
{
    // Its closing tag is missing: recovery would still find the id and the first item.
    LogCapture capture;
    const TempDir dir;
    const std::string cut = dir.Write("cut.xml", "<template><id>cut_type</id><configs><config><name>mode</name>"
                                                 "<pretty_name/><description/><vib>0x13</vib><dib>1</dib>"
                                                 "<access_right/><validation/><section/></config>");
    const std::string cfg = dir.Write("c.cfg", "<config><mode>1</mode></config>");
    EXPECT_EQ(PayloadError<std::runtime_error>(cfg, dir.Path(), "cut_type"), "Template file not found");
    EXPECT_TRUE(capture.Contains(" Not well-formed XML in " + cut + ", line 1: ")) << capture.Text();
}

TEST(Templates, SameIdTakesTheFirstFileByName)
{
    // Dup_c.xml comes after dup_b.xml when case is ignored, as the GUI lists them.
    LogCapture quiet;
    const TempDir dir;
    const std::string cfg = dir.Write("dup.xml", "<config><mode>1</mode></config>");
    Tolv::ByteVector out;
    Tolv::BuildConfigPayload(cfg, Templates, out, "dup_type", false);
    EXPECT_EQ(Hex(out), "01 22 01");
}

TEST(Templates, ListTemplateFilesTakesRegularXmlFilesOnly)
{
    const TempDir dir;
    fs::create_directories(dir.Path("sub.xml"));
    for (const char *name : {"b.xml", "A.XML", "c.Xml", "d.txt", "e.xml.bak", ".xml"})
    {
        dir.Write(name, "<x/>");
    }
    std::vector<std::string> paths{"kept"};
    Tolv::ListTemplateFiles(dir.Path(), paths);
    const std::vector<std::string> expected{"kept", dir.Path("A.XML"), dir.Path("b.xml")};
    EXPECT_EQ(paths, expected);

    LogCapture capture;
    std::vector<std::string> none;
    Tolv::ListTemplateFiles(dir.Path("b.xml"), none);
    EXPECT_TRUE(none.empty());
    EXPECT_TRUE(capture.Contains("Template directory parameter is not a directory " + dir.Path("b.xml")));
}

TEST(Templates, TemplateIdErrors)
{
    const TempDir dir;
    struct Case
    {
        std::string content, thrown; // <t> stands for the file's path
    };
    const Case cases[] = {
        {"<template><id>abc</id><configs/></template>", ""},
        {"<template><id>a<![CDATA[b]]>c</id><configs/></template>", ""},
        {"<template><!-- x --><id>abc</id></template>", "template id not found"},
        {"<template><ident>abc</ident></template>", "template id not found"},
        {"<template/>", "template id not found"},
        {"<template><id/></template>", "template id content not found"},
        // Read whole: the first piece alone would be another id.
        {"<template><id>a<!-- c -->bc</id></template>", "Template file <t>: id holds a comment besides its text"},
        {"<template><id><b/></id></template>", "Template file <t>: id holds an element <b> besides its text"},
    };
    for (const Case &c : cases)
    {
        LogCapture capture;
        const std::string path = dir.Write("t.xml", c.content);
        const Tolv::TemplateFile file(path);
        try
        {
            EXPECT_EQ(file.GetTemplateId(), "abc");
            EXPECT_EQ(c.thrown, "") << c.content;
        }
        catch (const std::runtime_error &e)
        {
            EXPECT_EQ(std::string(e.what()), std::regex_replace(c.thrown, std::regex("<t>"), path)) << c.content;
        }
    }
}

// An id that holds more than text refuses its template when its text is the id asked for; any
// other template with such an id is passed over like any unreadable one.
TEST(Templates, IdWithMoreThanTextRefusesOnlyTheTemplateAskedFor)
{
    const TempDir dir;
    const std::string item = "<config><name>a</name><pretty_name/><description/><vib>0x13</vib><dib>1</dib>"
                             "<access_right/><validation/><section/></config>";
    const std::string mixed =
        dir.Write("t/a.xml", "<template><id>zv_<!-- c -->sensor_02</id><configs>" + item + "</configs></template>");
    dir.Write("t/b.xml", "<template><id>zv_water_01</id><configs>" + item + "</configs></template>");
    const std::string config = dir.Write("c.xml", "<config><a>5</a></config>");
    LogCapture quiet;
    EXPECT_EQ(PayloadError<std::runtime_error>(config, dir.Path("t"), "zv_sensor_02"),
              "Template file " + mixed + ": id holds a comment besides its text");
    Tolv::ByteVector out;
    Tolv::BuildConfigPayload(config, dir.Path("t"), out, "zv_water_01", false);
    EXPECT_EQ(Hex(out), "01 13 05");
}

TEST(Templates, ItemChildrenMustStandInOrder)
{
    const TempDir dir;
    const std::string path =
        dir.Write("items.xml", "<template><id>t</id><configs>"
                               // reversed pretty_name and description
                               "<config><name>a</name><description/><pretty_name/><vib>1</vib><dib>1</dib>"
                               "<access_right/><validation/><section/></config>"
                               // a comment in the validation place is skipped like another element
                               "<config><name>b</name><pretty_name/><description/><vib>0x10</vib><dib>2</dib>"
                               "<access_right/><!-- v --><section>S</section></config>"
                               // no children at all
                               "<config/>"
                               // an extra child after section is not read
                               "<config><name>c</name><pretty_name/><description/><vib>3</vib><dib>0x8400</dib>"
                               "<access_right/><validation><max>9</max><min>-4</min><other/></validation>"
                               "<section/><extra/></config>"
                               "</configs><configs><config/></configs></template>");
    LogCapture capture(LogLevel::Debug);
    const Tolv::TemplateFile file(path);
    std::vector<Tolv::TemplateItem> items;
    file.GetTemplateItems(items);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].name, "b");
    EXPECT_EQ(items[0].vib, 0x10u);
    EXPECT_EQ(items[0].section, "S");
    EXPECT_EQ(items[1].name, "c");
    EXPECT_EQ(items[1].dib, 0x8400u);
    EXPECT_EQ(items[1].min, -4);
    EXPECT_EQ(items[1].max, 9);
    EXPECT_TRUE(capture.Contains("issue: Template item pretty_name not found \n")) << capture.Text();
    EXPECT_TRUE(capture.Contains("issue: Template item name not found \n"));
}

TEST(Templates, ContainerIsTheNodeRightAfterTheId)
{
    const std::string item = "<config><name>a</name><pretty_name/><description/><vib>1</vib><dib>1</dib>"
                             "<access_right/><validation/><section/></config>";
    struct Case
    {
        std::string afterId;
        size_t items;
        std::string thrown;
    };
    const Case cases[] = {
        {"<configs>" + item + "</configs>", 1, ""},
        {"<items>" + item + "</items>", 1, ""}, // any name will do
        // A comment there is the container: it holds no item, as the GUI sees it too.
        {"<!-- c --><configs>" + item + "</configs>", 0, ""},
        {"", 0, "template configs tag not found"},
    };
    const TempDir dir;
    for (const Case &c : cases)
    {
        LogCapture quiet;
        const Tolv::TemplateFile file(dir.Write("t.xml", "<template><id>t</id>" + c.afterId + "</template>"));
        std::vector<Tolv::TemplateItem> items;
        try
        {
            file.GetTemplateItems(items);
            EXPECT_EQ(c.thrown, "") << c.afterId;
        }
        catch (const Tolv::XmlFormatError &e)
        {
            EXPECT_EQ(e.what(), c.thrown) << c.afterId;
        }
        EXPECT_EQ(items.size(), c.items) << c.afterId;
    }
}
