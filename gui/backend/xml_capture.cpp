#include "xml_capture.h"

#include "Logger.h"

#include <QDomDocument>
#include <QFile>

xml_capture::xml_capture(Logger *logger) : logger(logger) {}

xml_capture::xml_capture(const QString &file, Logger *logger) : logger(logger)
{
    QFile in(file);
    if (!in.exists())
    {
        GUI_LOG(logger, "xml_capture", "xml capture file not found");
        return;
    }
    QDomDocument document;
    if (!in.open(QIODevice::ReadOnly) || !document.setContent(&in))
    {
        GUI_LOG(logger, "xml_capture", "eror while reading xml capture file");
        return;
    }
    const QDomElement root = document.documentElement();
    if (root.tagName() != "recorded_frames")
    {
        GUI_LOG(logger, "xml_capture", "recorded_frames element not found in xml");
        return;
    }
    // A comment in the file is stepped over; ending the walk there would hide every later frame.
    for (QDomElement child = root.firstChildElement(); !child.isNull(); child = child.nextSiblingElement())
    {
        CaptureFrame frame(child);
        if (frame.isValid())
            store(frame);
    }
}

void xml_capture::store(CaptureFrame frame)
{
    ++number;
    frame.setNumber(number);
    frames.append(frame);
}

bool xml_capture::AddFrame(QString &fragment)
{
    if (!fragment.contains("</mbus>"))
    {
        pending += fragment;
        return false;
    }
    if (!fragment.contains("<mbus"))
    {
        fragment = pending + fragment;
        pending.clear();
    }
    QDomDocument document;
    if (!document.setContent(fragment))
    {
        const QByteArray text = fragment.toUtf8();
        GUI_LOG(logger, "xml_capture", "xmlBOM.setContent failed : %s", text.constData());
        return false;
    }
    CaptureFrame frame(document.documentElement());
    if (!frame.isValid())
        return false;
    store(frame);
    return true;
}
