#include "LogCapture.h"
#include "TempDir.h"
#include "Tolv_XmlFormatError.h"
#include "Tolv_XmlHelper.h"

#include <gtest/gtest.h>

#include <libxml/tree.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace
{

const std::string Fixtures = TOLV_FIXTURES_DIR;

// The exception's message, or "" when none was thrown.
template <typename Exception> std::string ReadError(const std::string &path, Tolv::XmlDocPtr &doc)
{
    xmlNode *root = nullptr;
    try
    {
        Tolv::ReadXmlFile(path, doc, root);
    }
    catch (const Exception &e)
    {
        return e.what();
    }
    return "";
}

std::string Name(const xmlNode *node)
{
    return reinterpret_cast<const char *>(node->name);
}

} // namespace

TEST(XmlHelper, ReadsAFileAndHandsBackItsRoot)
{
    Tolv::XmlDocPtr doc;
    xmlNode *root = nullptr;
    Tolv::ReadXmlFile(Fixtures + "/config/good.xml", doc, root);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(Name(root), "config");
    // Blank text between elements is dropped: the first child is an element.
    ASSERT_NE(root->children, nullptr);
    EXPECT_EQ(Name(root->children), "send_period");
    EXPECT_EQ(Tolv::NodeText(root->children), "300");
}

TEST(XmlHelper, FailuresHaveTheirOwnMessages)
{
    const TempDir dir;
    const std::string empty = dir.Write("empty.xml", "");
    struct Case
    {
        std::string path;
        std::string thrown;
        std::string logged;
    };
    const Case cases[] = {
        {Fixtures + "/config/no_such_file.xml", "Can't open file", "Can't read file"},
        {Fixtures + "/config", "Cannot load xml file", "Load config file failed " + Fixtures + "/config"},
        {empty, "Cannot load xml file", "Load config file failed " + empty},
    };
    for (const Case &c : cases)
    {
        LogCapture capture;
        Tolv::XmlDocPtr doc;
        EXPECT_EQ(ReadError<std::runtime_error>(c.path, doc), c.thrown);
        EXPECT_TRUE(capture.Contains("Tolv_XmlHelper.cpp:")) << capture.Text(); // error lines carry the source
        EXPECT_TRUE(capture.Contains(" " + c.logged + "\n")) << capture.Text();
    }
}

TEST(XmlHelper, DeclarationOnlyHasNoRootElement)
{
    LogCapture capture;
    Tolv::XmlDocPtr doc;
    // It must be the structure error, and the document stays with the caller.
    EXPECT_EQ(ReadError<Tolv::XmlFormatError>(Fixtures + "/config/declaration_only.xml", doc), "Cannot get node ptr");
    EXPECT_TRUE(capture.Contains(" Cannot get node ptr\n"));
}

TEST(XmlHelper, RecoveryKeepsAnUnclosedElementAndTracesTheComplaint)
{
    LogCapture capture(LogLevel::Trace);
    Tolv::XmlDocPtr doc;
    xmlNode *root = nullptr;
    Tolv::ReadXmlFile(Fixtures + "/config/malformed.xml", doc, root);
    ASSERT_NE(root, nullptr);
    const xmlNode *mode = root->children;
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(Name(mode), "mode");
    const xmlNode *period = mode->next;
    ASSERT_NE(period, nullptr);
    EXPECT_EQ(Name(period), "send_period");
    EXPECT_EQ(Tolv::NodeText(period).substr(0, 2), "60");
    EXPECT_TRUE(capture.Contains("]libxml2: ")) << capture.Text();
}

TEST(XmlHelper, ParserComplaintsAreHiddenWithoutDebug)
{
    LogCapture capture;
    Tolv::XmlDocPtr doc;
    xmlNode *root = nullptr;
    Tolv::ReadXmlFile(Fixtures + "/config/malformed.xml", doc, root);
    EXPECT_EQ(capture.Text(), "");
}

TEST(XmlHelper, ExternalEntitiesAreNeverLoaded)
{
    for (const char *name : {"external_entity.xml", "external_dtd.xml"})
    {
        LogCapture capture(LogLevel::Trace);
        Tolv::XmlDocPtr doc;
        xmlNode *root = nullptr;
        Tolv::ReadXmlFile(Fixtures + "/config/" + name, doc, root);
        ASSERT_NE(root, nullptr) << name;
        EXPECT_EQ(Name(root), "config");
        xmlChar *all = xmlNodeGetContent(root);
        const std::string content = all != nullptr ? reinterpret_cast<const char *>(all) : "";
        xmlFree(all);
        EXPECT_EQ(content.find("SECRET"), std::string::npos) << name << ": " << content;
        EXPECT_FALSE(capture.Contains("SECRET")) << capture.Text();
    }
}

TEST(XmlHelper, NextElementStepsOverAnyNodeKind)
{
    const TempDir dir;
    const std::string file = dir.Write("siblings.xml", "<r>\n  <a/>\n  <b/><!-- c --><d/>\n</r>\n");
    Tolv::XmlDocPtr doc;
    xmlNode *root = nullptr;
    Tolv::ReadXmlFile(file, doc, root);
    xmlNode *node = root->children;
    EXPECT_EQ(Name(node), "a");
    EXPECT_EQ(Name(Tolv::NextElement(node)), "b"); // whitespace left no text node
    EXPECT_EQ(Tolv::NextElement(node)->type, XML_COMMENT_NODE);
    EXPECT_EQ(Name(Tolv::NextElement(node)), "d");
    try
    {
        Tolv::NextElement(node);
        FAIL() << "no next sibling must throw";
    }
    catch (const std::runtime_error &e)
    {
        EXPECT_STREQ(e.what(), "next ptr empty");
    }
    EXPECT_EQ(Name(node), "d");
}

TEST(XmlHelper, ErrorHandlerCutsLongMessages)
{
    LogCapture capture(LogLevel::Trace);
    const std::string message(300, 'm');
    Tolv::XmlErrorHandler(nullptr, "%s\n", message.c_str());
    Tolv::XmlErrorHandler(nullptr, "short %d\n", 42);
    Tolv::XmlErrorHandler(nullptr, "%s", "");
    const std::string text = capture.Text();
    EXPECT_NE(text.find("]libxml2: " + std::string(254, 'm') + "\n"), std::string::npos);
    EXPECT_EQ(text.find(std::string(255, 'm')), std::string::npos);
    EXPECT_NE(text.find("]libxml2: short 42\n"), std::string::npos);
    EXPECT_NE(text.find("]libxml2: \n"), std::string::npos);
}
