#include "xml_capture.h"

#include "Logger.h"

#include "MbusFrameReader.h"

#include <QFile>
#include <QXmlStreamReader>

xml_capture::xml_capture(Logger *logger) : logger(logger) {}

xml_capture::xml_capture(const QString &file, Logger *logger, const std::function<void()> &pause) : logger(logger)
{
    QFile in(file);
    if (!in.exists())
    {
        GUI_LOG(logger, "xml_capture", "xml capture file not found");
        return;
    }
    in.open(QIODevice::ReadOnly);
    QXmlStreamReader reader(&in);
    if (!reader.readNextStartElement())
    {
        GUI_LOG(logger, "xml_capture", "eror while reading xml capture file");
        return;
    }
    if (reader.name() != QLatin1String("recorded_frames"))
    {
        reader.skipCurrentElement();
        while (!reader.atEnd())
            reader.readNext();
        if (reader.hasError())
            GUI_LOG(logger, "xml_capture", "eror while reading xml capture file");
        else
            GUI_LOG(logger, "xml_capture", "recorded_frames element not found in xml");
        return;
    }
    // A comment in the file is stepped over; ending the walk there would hide every later frame.
    while (reader.readNextStartElement())
    {
        std::shared_ptr<CaptureFrame_t> frame = MbusFrameReader::read(reader);
        if (frame)
            store(frame);
        if (pause && number % FramesPerPause == 0)
            pause();
    }
    while (!reader.atEnd())
        reader.readNext();
    if (reader.hasError())
    {
        // The file as a whole is not XML: nothing of it is kept.
        frames.clear();
        number = 0;
        GUI_LOG(logger, "xml_capture", "eror while reading xml capture file");
    }
}

void xml_capture::store(const std::shared_ptr<CaptureFrame_t> &frame)
{
    ++number;
    frame->number = number;
    for (QString *text : {&frame->Id, &frame->Manufacturer, &frame->Medium, &frame->Status, &frame->Signature,
                          &frame->Type, &frame->error})
        share(*text);
    frames.append(CaptureFrame(frame, documents));
}

void xml_capture::share(QString &text)
{
    const auto known = sharedTexts.constFind(text);
    if (known != sharedTexts.constEnd())
        text = *known;
    else
        sharedTexts.insert(text);
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
    bool wellFormed = false;
    std::shared_ptr<CaptureFrame_t> frame = MbusFrameReader::fromText(fragment, wellFormed);
    if (!wellFormed)
    {
        const QByteArray text = fragment.toUtf8();
        GUI_LOG(logger, "xml_capture", "xmlBOM.setContent failed : %s", text.constData());
        return false;
    }
    if (!frame)
        return false;
    store(frame);
    return true;
}
