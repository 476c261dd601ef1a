#ifndef GUI_BACKEND_MBUSFRAMEREADER_H
#define GUI_BACKEND_MBUSFRAMEREADER_H

#include "CaptureFrame_t.h"

#include <QString>
#include <QXmlStreamReader>
#include <memory>

// Reads one mbus element into a frame record in a single pass, writing the element's text (with its
// reception time) as it goes. Captures hold many thousands of frames; a DOM per frame is too slow there.
class MbusFrameReader
{
public:
    // The reader stands on the element's start; it is left on the element's end. A record only for an
    // element named mbus; other elements are skipped whole.
    static std::shared_ptr<CaptureFrame_t> read(QXmlStreamReader &reader);
    // One document; wellFormed tells a parse failure from a document of another root.
    static std::shared_ptr<CaptureFrame_t> fromText(const QString &text, bool &wellFormed);
};

#endif
