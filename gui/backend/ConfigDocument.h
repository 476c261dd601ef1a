#ifndef GUI_BACKEND_CONFIGDOCUMENT_H
#define GUI_BACKEND_CONFIGDOCUMENT_H

#include "ConfigParam.h"

#include <QFile>
#include <QList>
#include <QString>
#include <memory>

// A module configuration: template id and parameters, with the file it was written to or read from.
class ConfigDocument
{
public:
    static constexpr const char *DefaultId = "my_type_01_01";

    // Writes the configuration file at once; an empty name writes a fresh temporary file instead, which
    // goes when the document goes. written() tells whether the file was written whole.
    ConfigDocument(const QString &id, const QList<ConfigParam> &params, const QString &file);
    // Reads a configuration file.
    explicit ConfigDocument(const QString &file);
    // The parameters of a read answer, from the mbus documents Tolvern printed; an unfinished document is
    // carried to the next call in pendingXml.
    ConfigDocument(const QString &text, QString *pendingXml);
    ~ConfigDocument();
    ConfigDocument(const ConfigDocument &) = delete;
    ConfigDocument &operator=(const ConfigDocument &) = delete;

    QString fileName() const;
    bool exists() const;
    bool written() const { return writeOk; }
    QString getId() const { return id; }
    QList<ConfigParam> getParams() const { return params; }
    QString toXml() const;
    // Whether the text can stand as an element name of a configuration file.
    static bool isValidName(const QString &name);

private:
    QList<ConfigParam> params;
    std::unique_ptr<QFile> file;
    QString id;
    bool writeOk = false;

    bool write();
};

#endif
