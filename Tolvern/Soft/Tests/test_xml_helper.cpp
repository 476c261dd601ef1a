#include "LogCapture.h"
#include "OutputText.h"
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

TEST(XmlHelper, WhatIsNotWellFormedIsRefusedEvenWhereRecoveryBuildsATree)
{
    const TempDir dir;
    struct Case
    {
        std::string name;
        std::string content;
        std::string complaint; // the line and libxml2's message
    };
    const Case cases[] = {
        // A missing close tag: recovery keeps the first items and drops the rest into the open one.
        {"open.xml", "<config>\n<a>1</a>\n<b>2\n<c>3</c>\n<d>4</d>\n<e>5</e>\n</config>\n",
         "line 7: Opening and ending tag mismatch: b line 3 and config"},
        {"unclosed.xml", "<config><a>1</a>", "line 1: Premature end of data in tag config line 1"},
        {"amp.xml", "<config><a>1&2</a></config>", "line 1: xmlParseEntityRef: no name"},
        {"undeclared.xml", "<config><a>&x;</a></config>", "line 1: Entity 'x' not defined"},
        {"trailing.xml", "<config/><config/>", "line 1: Extra content at the end of the document"},
        {"prefix.xml", "<config><p:a>1</p:a></config>", "line 1: Namespace prefix p on a is not defined"},
        {"declaration.xml", "<?xml version=\"1.0\"?>\n", "line 2: Start tag expected, '<' not found"},
        {"text.xml", "this is not XML at all", "line 1: Start tag expected, '<' not found"},
    };
    for (const Case &c : cases)
    {
        const std::string path = dir.Write(c.name, c.content);
        LogCapture capture;
        Tolv::XmlDocPtr doc;
        EXPECT_EQ(ReadError<Tolv::XmlFormatError>(path, doc), "File is not well-formed XML") << c.name;
        EXPECT_FALSE(doc) << c.name;
        EXPECT_EQ(NoLineNumbers(capture.Text()),
                  "Tolv_XmlHelper.cpp:N Not well-formed XML in " + path + ", " + c.complaint + "\n")
            << c.name;
    }
}

TEST(XmlHelper, ParserComplaintsAreTracedWithDebugOnly)
{
    const TempDir dir;
    // A relative namespace name is only worth a warning: the file is read.
    const std::string path = dir.Write("warned.xml", "<config xmlns=\"relative\"><a>1</a></config>");
    for (const int level : {LogLevel::Normal, LogLevel::Trace})
    {
        LogCapture capture(level);
        Tolv::XmlDocPtr doc;
        xmlNode *root = nullptr;
        Tolv::ReadXmlFile(path, doc, root);
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(Name(root), "config");
        EXPECT_EQ(capture.Contains("]libxml2: xmlns: URI relative is not absolute\n"), level == LogLevel::Trace)
            << capture.Text();
    }
}

TEST(XmlHelper, ExternalEntitiesAreNeverLoaded)
{
    for (const char *name : {"external_entity.xml", "external_dtd.xml"})
    {
        LogCapture capture(LogLevel::Trace);
        Tolv::XmlDocPtr doc;
        // What they refer to stays unknown, so the files are refused.
        EXPECT_EQ(ReadError<Tolv::XmlFormatError>(Fixtures + "/config/" + name, doc), "File is not well-formed XML")
            << name;
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
