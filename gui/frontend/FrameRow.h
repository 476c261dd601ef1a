#ifndef GUI_FRONTEND_FRAMEROW_H
#define GUI_FRONTEND_FRAMEROW_H

#include "CaptureFrame_t.h"

#include <QTreeWidgetItem>

// One row of the frame list. Its cells are read from the frame's record when the list asks for them, so a
// row of a hundred thousand costs a record's handles and two numbers instead of fourteen stored values, and
// sorting compares the record's fields directly. A value set on a cell afterwards takes the place of the
// record's.
class FrameRow : public QTreeWidgetItem
{
public:
    static constexpr int RowType = QTreeWidgetItem::UserType + 1;

    // time and delta: seconds since the capture start and since the previous listed frame.
    FrameRow(const CaptureFrame_t &frame, float time, float delta);

    QVariant data(int column, int role) const override;
    void setData(int column, int role, const QVariant &value) override;
    bool operator<(const QTreeWidgetItem &other) const override;

private:
    CaptureFrame_t record; // without the document text, which the store keeps
    float time;
    float delta;
    bool ownCells = false; // a value has been set on a cell

    QVariant cell(int column) const;
    bool lessThan(const FrameRow &other, int column) const;
};

#endif
