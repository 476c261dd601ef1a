#ifndef GUI_BACKEND_PREFSGUI_H
#define GUI_BACKEND_PREFSGUI_H

#include <QDomDocument>
#include <QDomElement>
#include <QString>
#include <QStringList>

// The state of the user interface kept in the preferences.
class PrefsGui
{
public:
    struct Record
    {
        int LastTab = 0;
        bool AutoKill = false;
        int X = 0, Y = 0, W = 0, H = 0;
        QString configFile;
        QString firmwareFile;
        QString captureFile;
        QStringList FramesHiddenColumns;
        QStringList ModulesHiddenColumns;
        QStringList Filters; // newest first
        int RadioTestCount = 0;
        int RadioTestDuration = 0;
    };

    static constexpr int FilterHistory = 10;

    void setDefaults();
    // Merges equal list entries (the first stays) before writing, also in memory.
    QDomElement writeXml(QDomDocument &document, QDomElement &parent);
    Record readXml(const QDomElement &element);

    void setLastTab(int tab) { record.LastTab = tab; }
    int getLastTab() const { return record.LastTab; }
    bool getAutoKill() const { return record.AutoKill; }
    void setGeometry(int x, int y, int w, int h);
    int getX() const { return record.X; }
    int getY() const { return record.Y; }
    int getW() const { return record.W; }
    int getH() const { return record.H; }
    void setConfigFile(const QString &file) { record.configFile = file; }
    QString getConfigFile() const { return record.configFile; }
    void setFirmwareFile(const QString &file) { record.firmwareFile = file; }
    QString getFirmwareFile() const { return record.firmwareFile; }
    void setCaptureFile(const QString &file) { record.captureFile = file; }
    QString getCaptureFile() const { return record.captureFile; }
    void setRadioTestCount(int count) { record.RadioTestCount = count; }
    int getRadioTestCount() const { return record.RadioTestCount; }
    void setRadioTestDuration(int seconds) { record.RadioTestDuration = seconds; }
    int getRadioTestDuration() const { return record.RadioTestDuration; }

    QStringList getFramesHiddenColumns() const { return record.FramesHiddenColumns; }
    QStringList getModulesHiddenColumns() const { return record.ModulesHiddenColumns; }
    QStringList getFilters() const { return record.Filters; }
    void addFramesHiddenColumn(const QString &name) { addUnique(record.FramesHiddenColumns, name); }
    void addModulesHiddenColumn(const QString &name) { addUnique(record.ModulesHiddenColumns, name); }
    void removeFramesHiddenColumn(const QString &name) { record.FramesHiddenColumns.removeAll(name); }
    void removeModulesHiddenColumn(const QString &name) { record.ModulesHiddenColumns.removeAll(name); }
    void addFilter(const QString &filter);

private:
    Record record;

    static void addUnique(QStringList &list, const QString &name);
};

#endif
