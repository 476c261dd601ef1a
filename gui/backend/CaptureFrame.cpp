#include "CaptureFrame.h"

#include "DomText.h"

#include <QDateTime>
#include <QDomDocument>

namespace
{
struct HeaderText
{
    const char *tag;
    QString CaptureFrame_t::*field;
};

constexpr HeaderText HeaderTexts[] = {
    {"Manufacturer", &CaptureFrame_t::Manufacturer},
    {"Id", &CaptureFrame_t::Id},
    {"Medium", &CaptureFrame_t::Medium},
    {"Status", &CaptureFrame_t::Status},
    {"Signature", &CaptureFrame_t::Signature},
    {"Type", &CaptureFrame_t::Type},
};

QString CaptureFrame_t::*headerField(const QString &tag)
{
    for (const HeaderText &entry : HeaderTexts)
        if (tag == QLatin1String(entry.tag))
            return entry.field;
    return nullptr;
}

void readHeader(const QDomElement &header, CaptureFrame_t &frame)
{
    for (QDomElement child = header.firstChildElement(); !child.isNull(); child = child.nextSiblingElement())
    {
        if (child.tagName() == "AccessNumber")
        {
            const QString text = DomText::of(child);
            frame.AccessNumber = text.isEmpty() ? CaptureFrame_t::NoValue : DomText::intOf(child);
        }
        else if (QString CaptureFrame_t::*field = headerField(child.tagName()))
            frame.*field = DomText::of(child);
    }
}

void readRadio(const QDomElement &radio, CaptureFrame_t &frame)
{
    for (QDomElement child = radio.firstChildElement(); !child.isNull(); child = child.nextSiblingElement())
        if (child.tagName() == "rssi")
            frame.rssi = -(DomText::intOf(child) / 2);
}
} // namespace

CaptureFrame::CaptureFrame(QDomElement element)
{
    if (element.isNull() || element.tagName() != "mbus")
        return;
    record = std::make_shared<CaptureFrame_t>();
    CaptureFrame_t &frame = *record;
    frame.date = element.attribute("date", "No date");
    // Comments and text between the children are stepped over rather than ending the walk.
    for (QDomElement child = element.firstChildElement(); !child.isNull(); child = child.nextSiblingElement())
    {
        const QString tag = child.tagName();
        if (tag == "header")
            readHeader(child, frame);
        else if (tag == "radio")
            readRadio(child, frame);
        else if (tag == "raw")
            frame.raw = DomText::of(child);
        else if (tag == "error")
            frame.error = DomText::of(child);
    }
    valid = true;
    if (!element.hasAttribute("time"))
    {
        frame.time = QDateTime::currentMSecsSinceEpoch();
        element.setAttribute("time", QString::number(frame.time));
    }
    else
    {
        bool ok = false;
        frame.time = element.attribute("time").toLongLong(&ok);
        if (!ok)
            frame.time = 0;
    }
    QDomDocument copy;
    copy.appendChild(copy.importNode(element, true));
    frame.xml = copy.toString(4);
}

void CaptureFrame::setNumber(int number)
{
    if (record)
        record->number = number;
}
