#include "xml_radio_test.h"

#include "DomText.h"
#include "Logger.h"
#include "TagField.h"

#include <QDebug>
#include <QDomDocument>

namespace
{
int halvedDecimal(const QDomElement &element)
{
    return DomText::intOf(element) / 2;
}

int halvedHex(const QDomElement &element)
{
    bool ok = false;
    const int value = DomText::of(element).toInt(&ok, 16);
    return ok ? value / 2 : 0;
}

// A record value is printed signed, so a four-byte number with its top bit set comes out negative: the
// unique number is those four bytes. Written as the concentrator's label shows it, without leading zeros.
QString uidText(const QString &decimal)
{
    bool ok = false;
    const qint64 value = decimal.toLongLong(&ok);
    if (!ok || value < INT32_MIN || value > UINT32_MAX)
        return QString();
    return QString::number(static_cast<quint32>(value), 16).toUpper();
}

using TplText = TagField<RadioTestTpl_t, QString>;
using HeaderText = TagField<RadioTestFrame_t, QString>;

constexpr TplText TplTexts[] = {
    {"Id", &RadioTestTpl_t::id},
    {"Manufacturer", &RadioTestTpl_t::manufacturer},
    {"Medium", &RadioTestTpl_t::medium},
};
constexpr HeaderText HeaderTexts[] = {
    {"Id", &RadioTestFrame_t::id},
    {"Manufacturer", &RadioTestFrame_t::manufacturer},
    {"Medium", &RadioTestFrame_t::medium},
    {"Type", &RadioTestFrame_t::type},
};

void readTpl(const QDomElement &tpl, RadioTestTpl_t &record)
{
    for (QDomElement child = DomText::firstElement(tpl); !child.isNull(); child = DomText::nextElement(child))
        if (QString RadioTestTpl_t::*field = TplText::find(TplTexts, child.tagName()))
            record.*field = DomText::of(child);
}

void readHeader(const QDomElement &header, RadioTestFrame_t &frame)
{
    for (QDomElement child = DomText::firstElement(header); !child.isNull(); child = DomText::nextElement(child))
    {
        if (QString RadioTestFrame_t::*field = HeaderText::find(HeaderTexts, child.tagName()))
            frame.*field = DomText::of(child);
        else if (child.tagName() == "Status")
            frame.uplinkRssi = halvedHex(child);
        else if (child.tagName() == "Tpl")
            readTpl(child, frame.tpl);
    }
}
} // namespace

xml_radio_test::xml_radio_test(QObject *parent, Logger *logger) : QObject(parent), logger(logger)
{
    qRegisterMetaType<RadioTestFrame_t>();
}

void xml_radio_test::GetNewFrame(QString text)
{
    RadioTestFrame_t frame;
    text = text.simplified();
    qDebug().noquote() << "Get New Frame: " + text;
    QDomDocument document;
    QString message;
    int line = 0, column = 0;
    if (!document.setContent(text, false, &message, &line, &column))
    {
        const QByteArray error = message.toUtf8();
        GUI_LOG(logger, "xml_radio_test", "xmlBOM.setContent failed : %s l:%d C:%d", error.constData(), line, column);
        return;
    }
    const QDomElement root = document.documentElement();
    if (root.tagName() == "mbus")
    {
        for (QDomElement child = DomText::firstElement(root); !child.isNull(); child = DomText::nextElement(child))
        {
            const QString tag = child.tagName();
            if (tag == "radio")
            {
                for (QDomElement r = DomText::firstElement(child); !r.isNull(); r = DomText::nextElement(r))
                    if (r.tagName() == "rssi")
                        frame.downlinkRssi = halvedDecimal(r);
            }
            else if (tag == "header")
                readHeader(child, frame);
            else if (tag == "records")
            {
                GUI_LOG(logger, "xml_radio_test", "FoundRecords");
                const QDomElement first = DomText::firstElement(child);
                if (!first.isNull() && first.tagName() == "record" && first.attribute("vife") == "0x73")
                    frame.uid = uidText(DomText::of(first));
            }
        }
    }
    const bool answer = frame.tpl.manufacturer == "ZVR" && frame.medium == "Communication controller" &&
                        frame.type == "SND-NKE" && frame.manufacturer == "ZVR";
    if (answer)
    {
        GUI_LOG(logger, "xml_radio_test", "Receive concentrator answer");
        emit ReceiveAnswer(frame);
        return;
    }
    const QByteArray tplManufacturer = frame.tpl.manufacturer.toUtf8(), medium = frame.medium.toUtf8(),
                     type = frame.type.toUtf8(), manufacturer = frame.manufacturer.toUtf8();
    GUI_LOG(logger, "xml_radio_test", "Missing data!!: Manuf:%s Medium: %s type: %s Manuf: %s",
            tplManufacturer.constData(), medium.constData(), type.constData(), manufacturer.constData());
}
