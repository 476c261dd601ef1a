#ifndef GUI_BACKEND_XML_CAPTURE_H
#define GUI_BACKEND_XML_CAPTURE_H

#include "CaptureFrame.h"

#include <QList>
#include <QString>

class Logger;

// The frames of one capture, numbered from 1 in the order they were stored.
class xml_capture
{
public:
    explicit xml_capture(Logger *logger);
    xml_capture(const QString &file, Logger *logger); // loads a capture file (recorded_frames)

    // Completes the fragment with held-back text, parses it and stores a valid mbus frame: true then.
    bool AddFrame(QString &fragment);
    QList<CaptureFrame> getFrames() const { return frames; }
    int count() const { return number; }

private:
    Logger *logger;
    QList<CaptureFrame> frames;
    int number = 0;
    QString pending;

    void store(CaptureFrame frame);
};

#endif
