#ifndef GUI_BACKEND_CAPTUREFILESCAN_H
#define GUI_BACKEND_CAPTUREFILESCAN_H

#include <QByteArray>
#include <QVector>

// Finds the frames of a capture file without parsing them, so that they can be parsed in pieces side by
// side. Only the plain layout the GUI writes is taken: an optional UTF-8 declaration and comments, the root
// recorded_frames without attributes, its child elements with blanks and comments between them, comments
// after it. Anything else (a document type, another encoding, text or CDATA between the frames, a comment
// the parser would refuse) is left to the reading in one pass, which decides what the file is worth.
namespace CaptureFileScan
{
struct Span
{
    qint64 begin;
    qint64 end; // one past the element's last byte
};

struct Layout
{
    QVector<Span> elements; // the root's child elements, in file order
    QByteArray skeleton;    // the file without its child elements, for the parser to check
};

// False when the file does not have the plain layout.
bool scan(const char *data, qint64 size, Layout &layout);
} // namespace CaptureFileScan

#endif
