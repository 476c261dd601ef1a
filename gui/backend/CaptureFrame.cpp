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
}

CaptureFrame::CaptureFrame(std::shared_ptr<CaptureFrame_t> frame) : record(std::move(frame)), valid(record != nullptr)
{
}

void CaptureFrame::setNumber(int number)
{
    if (record)
        record->number = number;
}
