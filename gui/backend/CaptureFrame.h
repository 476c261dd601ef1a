#ifndef GUI_BACKEND_CAPTUREFRAME_H
#define GUI_BACKEND_CAPTUREFRAME_H

#include "CaptureFrame_t.h"

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

    bool isValid() const { return valid; }
    CaptureFrame_t getData() const { return record ? *record : CaptureFrame_t{}; }
    void setNumber(int number);

private:
    std::shared_ptr<CaptureFrame_t> record;
    bool valid = false;
};

#endif
