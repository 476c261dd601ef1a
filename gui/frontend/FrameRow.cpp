#include "FrameRow.h"

#include <QBrush>
#include <QTreeWidget>

namespace
{
constexpr int MaxAccessNumber = 255;
constexpr int CentreBoth = Qt::AlignHCenter | Qt::AlignVCenter;
constexpr int Columns = 14;

// Cell alignment per column; 0 for the columns that keep the default.
constexpr int alignments[Columns] = {
    0,          Qt::AlignRight, Qt::AlignRight, 0,          Qt::AlignHCenter, Qt::AlignHCenter, CentreBoth,
    CentreBoth, CentreBoth,     CentreBoth,     CentreBoth, CentreBoth,       Qt::AlignLeft,    Qt::AlignLeft,
};

// The text columns and the record field each shows.
QString CaptureFrame_t::*textField(int column)
{
    switch (column)
    {
    case 3:
        return &CaptureFrame_t::date;
    case 5:
        return &CaptureFrame_t::Manufacturer;
    case 6:
        return &CaptureFrame_t::Id;
    case 7:
        return &CaptureFrame_t::Medium;
    case 9:
        return &CaptureFrame_t::Status;
    case 10:
        return &CaptureFrame_t::Signature;
    case 11:
        return &CaptureFrame_t::Type;
    case 12:
        return &CaptureFrame_t::raw;
    case 13:
        return &CaptureFrame_t::error;
    default:
        return nullptr;
    }
}

// A number cell as the list compares it: an empty cell sorts after every number.
struct NumberCell
{
    bool present;
    double value;
};
} // namespace

FrameRow::FrameRow(const CaptureFrame_t &frame, float time, float delta)
    : QTreeWidgetItem(RowType), record(frame), time(time), delta(delta)
{
    record.xml = QString();
}

QVariant FrameRow::cell(int column) const
{
    switch (column)
    {
    case 0:
        return record.number;
    case 1:
        return time;
    case 2:
        return delta;
    case 4:
        return record.rssi != CaptureFrame_t::NoValue ? QVariant(record.rssi) : QVariant();
    case 8:
        return record.AccessNumber <= MaxAccessNumber ? QVariant(record.AccessNumber) : QVariant();
    default:
        if (QString CaptureFrame_t::*field = textField(column))
            return record.*field;
        return QVariant();
    }
}

QVariant FrameRow::data(int column, int role) const
{
    if (column < 0 || column >= Columns)
        return QTreeWidgetItem::data(column, role);
    if (ownCells)
    {
        const QVariant stored = QTreeWidgetItem::data(column, role);
        if (stored.isValid())
            return stored;
    }
    switch (role)
    {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return cell(column);
    case Qt::TextAlignmentRole:
        return alignments[column] ? QVariant(alignments[column]) : QVariant();
    case Qt::BackgroundRole:
        if (record.Medium.contains("Communication"))
            return QBrush(Qt::lightGray);
        return QVariant();
    default:
        return QVariant();
    }
}

void FrameRow::setData(int column, int role, const QVariant &value)
{
    ownCells = true;
    QTreeWidgetItem::setData(column, role, value);
}

bool FrameRow::operator<(const QTreeWidgetItem &other) const
{
    const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
    if (other.type() != RowType || column < 0 || column >= Columns || ownCells ||
        static_cast<const FrameRow &>(other).ownCells)
        return QTreeWidgetItem::operator<(other);
    return lessThan(static_cast<const FrameRow &>(other), column);
}

// The order of the list's own comparison of the cell values: numbers by value, texts by their character
// codes, an empty cell after every other.
bool FrameRow::lessThan(const FrameRow &other, int column) const
{
    if (QString CaptureFrame_t::*field = textField(column))
        return (record.*field).compare(other.record.*field) < 0;
    auto number = [column](const FrameRow &row) -> NumberCell
    {
        switch (column)
        {
        case 0:
            return {true, double(row.record.number)};
        case 1:
            return {true, double(row.time)};
        case 2:
            return {true, double(row.delta)};
        case 4:
            return {row.record.rssi != CaptureFrame_t::NoValue, double(row.record.rssi)};
        default:
            return {row.record.AccessNumber <= MaxAccessNumber, double(row.record.AccessNumber)};
        }
    };
    const NumberCell left = number(*this);
    const NumberCell right = number(other);
    if (!left.present)
        return false;
    if (!right.present)
        return true;
    return left.value < right.value;
}
