#include "CaptureFrame.h"

#include "MbusFrameReader.h"

#include <QDateTime>
#include <QDomDocument>

CaptureFrame::CaptureFrame(QDomElement element)
{
    if (element.isNull() || element.tagName() != "mbus")
        return;
    if (!element.hasAttribute("time"))
        element.setAttribute("time", QString::number(QDateTime::currentMSecsSinceEpoch()));
    QDomDocument copy;
    copy.appendChild(copy.importNode(element, true));
    bool wellFormed = false;
    record = MbusFrameReader::fromText(copy.toString(), wellFormed);
    valid = record != nullptr;
    if (record)
        record->xml.squeeze(); // kept here, not in a store's blocks
}

CaptureFrame::CaptureFrame(std::shared_ptr<CaptureFrame_t> frame) : record(std::move(frame)), valid(record != nullptr)
{
}

CaptureFrame::CaptureFrame(std::shared_ptr<CaptureFrame_t> frame, DocumentText document)
    : CaptureFrame(std::move(frame))
{
    text = std::move(document);
}

CaptureFrame_t CaptureFrame::getData() const
{
    if (!record)
        return CaptureFrame_t{};
    CaptureFrame_t data = *record;
    if (text.isValid())
        data.xml = text.toString();
    return data;
}

const CaptureFrame_t &CaptureFrame::fields() const
{
    static const CaptureFrame_t none;
    return record ? *record : none;
}

QString CaptureFrame::document() const
{
    if (!record)
        return QString();
    return text.isValid() ? text.toString() : record->xml;
}

void CaptureFrame::setNumber(int number)
{
    if (record)
        record->number = number;
}
