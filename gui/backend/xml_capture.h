#ifndef GUI_BACKEND_XML_CAPTURE_H
#define GUI_BACKEND_XML_CAPTURE_H

#include "CaptureFrame.h"

#include <QList>
#include <QSet>
#include <QString>
#include <functional>

class Logger;

// The frames of one capture, numbered from 1 in the order they were stored.
class xml_capture
{
public:
    explicit xml_capture(Logger *logger);
    // Loads a capture file (recorded_frames); pause, when given, is called between pieces of a large file so
    // that a window can process its events while it waits.
    xml_capture(const QString &file, Logger *logger, const std::function<void()> &pause = {});

    // Completes the fragment with held-back text, parses it and stores a valid mbus frame: true then.
    bool AddFrame(QString &fragment);
    QList<CaptureFrame> getFrames() const { return frames; }
    int count() const { return number; }
    // The frame of that number (from 1); an invalid frame when there is none.
    CaptureFrame frame(int frameNumber) const { return frames.value(frameNumber - 1); }

private:
    Logger *logger;
    static constexpr int FramesPerPause = 200;
    static constexpr int MaxReaders = 4;    // threads that read a large file's frames side by side
    static constexpr int PieceFrames = 500; // frames one of them reads at a time
    QList<CaptureFrame> frames;
    int number = 0;
    QString pending;
    DocumentArena documents;
    QSet<QString> sharedTexts; // header texts repeat from frame to frame: one copy of each is kept

    // Stores the frame with its document, given as UTF-8 when it has been converted already.
    void store(const std::shared_ptr<CaptureFrame_t> &frame, const QByteArray &document = QByteArray());
    // Reads a file of the plain layout in pieces on several threads; false (nothing kept) for any other file.
    bool readInPieces(class QFile &in, const std::function<void()> &pause);
    void share(QString &text);
};

#endif
