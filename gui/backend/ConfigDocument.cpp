#include "ConfigDocument.h"

#include "DomText.h"

#include <QDebug>
#include <QDir>
#include <QDomDocument>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryFile>

namespace
{
QString escaped(const QString &text)
{
    QString out = text.toHtmlEscaped(); // &, <, > and "
    return out.replace('\'', QLatin1String("&apos;"));
}
} // namespace

ConfigDocument::ConfigDocument(const QString &id, const QList<ConfigParam> &params, const QString &name)
    : params(params), id(id)
{
    if (name.isEmpty())
        file = std::make_unique<QTemporaryFile>(QDir::tempPath() + "/HalvexZuroRur_config_XXXXXX.xml");
    else
        file = std::make_unique<QFile>(name);
    writeOk = write();
}

bool ConfigDocument::isValidName(const QString &name)
{
    static const QRegularExpression pattern("^[A-Za-z_][A-Za-z0-9_.-]*$");
    return pattern.match(name).hasMatch();
}

bool ConfigDocument::write()
{
    // A parameter name that is no element name would make the whole file unreadable for Tolvern.
    for (const ConfigParam &param : params)
        if (!isValidName(param.name))
            return false;
    const QByteArray text = toXml().toUtf8();
    if (auto *temporary = dynamic_cast<QTemporaryFile *>(file.get()))
    {
        if (!temporary->open())
            return false;
        const bool ok = temporary->write(text) == text.size() && temporary->flush();
        temporary->close();
        return ok;
    }
    // The new text replaces the old file only once it is complete on disk.
    QSaveFile out(file->fileName());
    if (!out.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    if (out.write(text) != text.size())
        return false;
    return out.commit();
}

QString ConfigDocument::toXml() const
{
    QString text = "<config id=\"" + escaped(id) + "\" hlvtb_version=\"1.2\">\n";
    for (const ConfigParam &param : params)
        text += '\t' + QString("<%1>%2</%1>\n").arg(param.name, escaped(param.value));
    text += "</config>\n";
    return text;
}

ConfigDocument::ConfigDocument(const QString &name) : file(std::make_unique<QFile>(name))
{
    if (!file->exists())
        return;
    QDomDocument document;
    if (!file->open(QIODevice::ReadOnly) || !document.setContent(file.get()))
    {
        file->close();
        qDebug() << "";
        qDebug().noquote() << "xmlBOM.setContent failed :" + name;
        return;
    }
    file->close();
    const QDomElement root = document.documentElement();
    if (root.isNull() || root.tagName() != "config")
        return;
    id = root.attribute("id", DefaultId);
    // Comments are stepped over, so a hand-annotated file keeps all its parameters.
    for (QDomElement child = root.firstChildElement(); !child.isNull(); child = child.nextSiblingElement())
    {
        ConfigParam param;
        param.name = child.tagName();
        param.value = DomText::of(child);
        params.append(param);
    }
}

ConfigDocument::ConfigDocument(const QString &text, QString *pendingXml)
{
    QString all = text;
    if (pendingXml && !pendingXml->isEmpty())
        all = *pendingXml + all;
    all = all.simplified();
    all.replace(QLatin1String("</mbus> <mbus"), QLatin1String("</mbus>\n<mbus"));
    const QStringList fragments = all.split('\n');
    if (fragments.size() > 1)
    {
        qDebug() << "-----------------";
        qDebug() << "Multiples lines!!";
        qDebug() << "-----------------";
    }
    QString pending;
    for (const QString &fragment : fragments)
    {
        QDomDocument document;
        if (!document.setContent(fragment))
        {
            if (fragment.contains('<') || fragment.contains('>'))
            {
                qDebug() << "seems to have so xml in it, keep and try to concatainate with next frame";
                pending = fragment;
            }
            else
            {
                qDebug().noquote() << "xmlBOM.setContent failed :" + fragment;
                pending.clear();
            }
            continue;
        }
        pending.clear();
        const QDomElement root = document.documentElement();
        if (root.tagName() != "mbus")
            continue;
        // Only the first records element counts; the walks end at a node that is no element.
        QDomElement records = DomText::firstElement(root);
        while (!records.isNull() && records.tagName() != "records")
            records = DomText::nextElement(records);
        for (QDomElement record = DomText::firstElement(records); !record.isNull();
             record = DomText::nextElement(record))
        {
            if (record.tagName() != "record")
                continue;
            ConfigParam param;
            param.vib = record.attribute("vife", "0x00");
            param.unit = record.attribute("unit");
            param.value = DomText::of(record);
            qDebug().noquote() << "new param: vife=" + param.vib + " value:" + param.value;
            params.append(param);
        }
    }
    if (pendingXml)
        *pendingXml = pending;
}

ConfigDocument::~ConfigDocument() = default;

QString ConfigDocument::fileName() const
{
    return file ? file->fileName() : QString();
}

bool ConfigDocument::exists() const
{
    return file && !file->fileName().isEmpty() && QFileInfo::exists(file->fileName());
}
