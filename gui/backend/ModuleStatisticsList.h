#ifndef GUI_BACKEND_MODULESTATISTICSLIST_H
#define GUI_BACKEND_MODULESTATISTICSLIST_H

#include "CaptureFrame_t.h"
#include "ModuleStatistics.h"

#include <QHash>
#include <QList>
#include <QString>

// One statistics entry per module Id, in the order in which the modules first appeared.
class ModuleStatisticsList
{
public:
    ModuleStatisticsList() = default;
    explicit ModuleStatisticsList(const QString &label) : label(label) {}

    void update(const CaptureFrame_t &frame);
    // The entry of that Id; an empty entry when there is none.
    ModuleStatistics find(const QString &id) const;
    void clear()
    {
        entries.clear();
        positions.clear();
    }
    QList<ModuleStatistics> getList() const { return entries; }
    QString getLabel() const { return label; }
    void setLabel(const QString &text) { label = text; }

private:
    QList<ModuleStatistics> entries;
    QHash<QString, int> positions; // Id -> its entry: a busy site has hundreds of modules
    QString label;
};

#endif
