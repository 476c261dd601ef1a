#ifndef GUI_BACKEND_CAPTUREFRAME_H
#define GUI_BACKEND_CAPTUREFRAME_H

#include "CaptureFrame_t.h"
#include "DocumentArena.h"

#include <QDomElement>
#include <memory>

// A handle on one frame record; copies share the record.
class CaptureFrame
{
public:
    CaptureFrame() = default; // invalid, without a record
    // Parses an mbus element; adds the attribute time (now) to it when it has none.
    explicit CaptureFrame(QDomElement element);
    // Takes a record read elsewhere (MbusFrameReader); valid when there is one.
    explicit CaptureFrame(std::shared_ptr<CaptureFrame_t> record);
    // The same, the record's document text being kept elsewhere (record->xml is empty).
    CaptureFrame(std::shared_ptr<CaptureFrame_t> record, DocumentText text);

    bool isValid() const { return valid; }
    CaptureFrame_t getData() const;
    // The record without its document text: what the lists and the filter read, without decoding the text.
    const CaptureFrame_t &fields() const;
    QString document() const;
    void setNumber(int number);

private:
    std::shared_ptr<CaptureFrame_t> record;
    DocumentText text; // the document when it lives in an arena; record->xml is empty then
    bool valid = false;
};

#endif
