// The GUI reads every document with Qt's parsers: whatever bytes a meter
// sends, both must accept the document and read back the text.

#include "test_xml_support.h"

#include <gtest/gtest.h>

#include <QDomDocument>
#include <QString>
#include <QXmlStreamReader>

#include <cstdio>

using namespace wmbus_test;
using namespace xml_test;

namespace
{

// The text of the first `record` element, or a null string when the stream
// reader finds a fault.
QString FirstRecordText(const std::string &document)
{
    QXmlStreamReader reader(QByteArray::fromStdString(document));
    QString text;
    bool found = false;
    while (!reader.atEnd())
    {
        reader.readNext();
        if (!found && reader.isStartElement() && reader.name() == QLatin1String("record"))
        {
            text = reader.readElementText();
            found = true;
        }
    }
    if (reader.hasError())
        return QString();
    return text;
}

bool DomAccepts(const std::string &document)
{
    QDomDocument dom;
    QString error;
    return dom.setContent(QByteArray::fromStdString(document), &error);
}

// An LVAR text record holding `bytes` in order.
std::string TextFrame(const std::string &bytes)
{
    std::string wire;
    char hex[4];
    for (auto it = bytes.rbegin(); it != bytes.rend(); ++it)
    {
        std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(*it));
        wire += hex;
    }
    std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned>(bytes.size()));
    return RenderFrame(WFrame(std::string("44 D26A 78563412 01 07 7A 01 00 0000 0D13 ") + hex + wire));
}

TEST(QtParsers, ReadEveryByteOfARadioText)
{
    for (int c = 1; c < 256; ++c)
    {
        std::string document = TextFrame(std::string("a") + static_cast<char>(c) + "z");
        bool forbidden = c < 0x20 && c != 0x09 && c != 0x0A && c != 0x0D;
        QString expected = QString("a") + QChar(forbidden ? 0x2400 + c : c) + "z";
        EXPECT_EQ(FirstRecordText(document), expected) << c << "\n" << document;
        EXPECT_TRUE(DomAccepts(document)) << c;
    }
}

TEST(QtParsers, AcceptPlainTextUnitsWithMarkup)
{
    // Unit text '"/><x a="' on the wire, reversed, in a 1-byte record.
    std::string document = RenderFrame(WFrame("44 D26A 78563412 01 07 7A 01 00 0000 017C09 223D6120783C3E2F22 07"));
    QXmlStreamReader reader(QByteArray::fromStdString(document));
    QString unit;
    int records = 0;
    while (!reader.atEnd())
    {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == QLatin1String("record"))
        {
            unit = reader.attributes().value("unit").toString();
            ++records;
        }
    }
    EXPECT_FALSE(reader.hasError()) << document;
    EXPECT_EQ(records, 1);
    EXPECT_EQ(unit, QString("\"/><x a=\""));
    EXPECT_TRUE(DomAccepts(document));
}

TEST(QtParsers, ReadTheVifeAttribute)
{
    std::string document = RenderFrame(WFrame("44 D26A 78563412 01 07 7A 01 00 0000 01FD7405"));
    QDomDocument dom;
    ASSERT_TRUE(dom.setContent(QByteArray::fromStdString(document)));
    QDomElement record = dom.documentElement().firstChildElement("records").firstChildElement("record");
    EXPECT_EQ(record.attribute("unit"), QString("Reserved VIF extension"));
    EXPECT_EQ(record.attribute("vife"), QString("0x74"));
    EXPECT_EQ(record.text(), QString("5"));
}

} // namespace
