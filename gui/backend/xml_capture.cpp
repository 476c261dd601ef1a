#include "xml_capture.h"

#include "Logger.h"

#include "CaptureFileScan.h"
#include "MbusFrameReader.h"

#include <QFile>
#include <QThread>
#include <QXmlStreamReader>
#include <future>
#include <limits>
#include <vector>

namespace
{
// Records whose documents have been converted to UTF-8 on the reading thread.
using Records = std::vector<std::pair<std::shared_ptr<CaptureFrame_t>, QByteArray>>;

// Reads the elements [first, last) as the children of a root of their own; false on a parse error.
bool readPiece(const char *data, const QVector<CaptureFileScan::Span> &elements, int first, int last,
               Records &records)
{
    QByteArray document = "<recorded_frames>";
    for (int i = first; i < last; ++i)
        document.append(data + elements[i].begin, int(elements[i].end - elements[i].begin));
    document += "</recorded_frames>";
    QXmlStreamReader reader(document);
    if (!reader.readNextStartElement())
        return false;
    while (reader.readNextStartElement())
    {
        std::shared_ptr<CaptureFrame_t> frame = MbusFrameReader::read(reader);
        if (!frame)
            continue;
        QByteArray document = frame->xml.toUtf8();
        frame->xml = QString();
        records.emplace_back(frame, document);
    }
    while (!reader.atEnd())
        reader.readNext();
    return !reader.hasError();
}

// Frames read side by side, a piece per thread; the threads write into pieces until their futures are ready.
struct Round
{
    std::vector<Records> pieces;
    std::vector<std::future<bool>> reading;
};

// Waits for work done on another thread, letting the window process its events meanwhile.
template <typename T> T await(std::future<T> &work, const std::function<void()> &pause)
{
    constexpr std::chrono::milliseconds PauseEvery(20);
    while (pause && work.wait_for(PauseEvery) != std::future_status::ready)
        pause();
    return work.get();
}

bool wellFormed(const QByteArray &document)
{
    QXmlStreamReader reader(document);
    while (!reader.atEnd())
        reader.readNext();
    return !reader.hasError();
}
} // namespace

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
    if (readInPieces(in, pause))
        return;
    in.seek(0);
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

bool xml_capture::readInPieces(QFile &in, const std::function<void()> &pause)
{
    // Read whole, not mapped: a file cut short by another program meanwhile must not bring the GUI down.
    // Reading and finding the frames run on a thread of their own, so that the window keeps turning.
    QByteArray content;
    CaptureFileScan::Layout layout;
    std::future<bool> scanning = std::async(std::launch::async,
                                            [&in, &content, &layout]
                                            {
                                                const qint64 size = in.size();
                                                if (size <= 0 || size >= std::numeric_limits<int>::max())
                                                    return false;
                                                content.resize(int(size));
                                                DocumentArena::preferLargePages(content.constData(), size);
                                                if (in.read(content.data(), size) != size)
                                                    return false;
                                                return !content.isEmpty() &&
                                                       CaptureFileScan::scan(content.constData(), content.size(),
                                                                             layout) &&
                                                       wellFormed(layout.skeleton);
                                            });
    bool read = await(scanning, pause);
    const char *data = content.constData();
    const int readers = qBound(1, QThread::idealThreadCount(), MaxReaders);
    const int count = layout.elements.size();
    const int round = readers * PieceFrames;
    // The next round of pieces is read while the frames of this one are stored.
    auto startRound = [&](int from)
    {
        Round started;
        started.pieces.resize(static_cast<size_t>(readers));
        for (int r = 0; r < readers; ++r)
        {
            const int first = from + r * PieceFrames;
            const int last = qMin(count, first + PieceFrames);
            if (first < last)
                started.reading.push_back(std::async(std::launch::async, readPiece, data, std::cref(layout.elements),
                                                     first, last, std::ref(started.pieces[size_t(r)])));
        }
        return started;
    };
    Round current = read ? startRound(0) : Round();
    for (int from = 0; read && from < count; from += round)
    {
        for (std::future<bool> &piece : current.reading)
            read = await(piece, pause) && read;
        Round next = read && from + round < count ? startRound(from + round) : Round();
        for (const Records &piece : current.pieces)
        {
            for (const auto &frame : piece)
            {
                if (!read)
                    break;
                store(frame.first, frame.second);
                if (pause && number % FramesPerPause == 0)
                    pause();
            }
        }
        current = std::move(next);
    }
    if (!read)
    {
        // The reading in one pass decides what such a file is worth.
        frames.clear();
        number = 0;
        documents = DocumentArena();
        sharedTexts.clear();
    }
    return read;
}

void xml_capture::store(const std::shared_ptr<CaptureFrame_t> &frame, const QByteArray &document)
{
    ++number;
    frame->number = number;
    for (QString *text : {&frame->Id, &frame->Manufacturer, &frame->Medium, &frame->Status, &frame->Signature,
                          &frame->Type, &frame->error})
        share(*text);
    DocumentText text = document.isNull() ? documents.add(frame->xml) : documents.add(document);
    frame->xml = QString();
    frames.append(CaptureFrame(frame, std::move(text)));
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
