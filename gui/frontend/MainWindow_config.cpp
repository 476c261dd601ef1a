// The Parameters page: the parameter tree of the chosen module type, its validation and configuration files.
#include "MainWindow.h"

#include "ConfigDocument.h"
#include "FileChooser.h"
#include "ItemValue.h"
#include "Logger.h"
#include "ParamColumns.h"
#include "TemplateList.h"
#include "UserMessage.h"
#include "ui_MainWindow.h"
#include "xml_preferences.h"

#include <QDebug>
#include <QFileInfo>
#include <QRegularExpression>

namespace
{
constexpr const char *paramHeaders[ParamColumnCount] = {"Name", "code", "Value", "last value", "regexp",
                                                        "Min",  "Max",  "RW",    "VIB",        "Selection"};
constexpr int hiddenParamColumns[] = {ColCode, ColLastValue, ColRegex, ColMin, ColMax, ColVib};
constexpr int MaxTicked = 12;
constexpr const char *EditHint = "Double click here to edit";
constexpr const char *SectionMark = "  "; // column 2 of a section row

struct AccessText
{
    const char *code;
    const char *text;
};
constexpr AccessText accessTexts[] = {{"ro", "Read only"}, {"wo", "Write only"}, {"rw", "Read / Write"}};

QString accessText(const QString &code)
{
    for (const AccessText &entry : accessTexts)
    {
        if (code == entry.code)
            return entry.text;
    }
    return QString();
}

void setRowShade(QTreeWidgetItem *row, bool ticked)
{
    const QBrush brush(ticked ? Qt::black : Qt::gray);
    row->setForeground(ColValue, brush);
    row->setForeground(ColName, brush);
}
} // namespace

void MainWindow::setupParameterPage()
{
    QTreeWidget *tree = ui->treeWidget_Param;
    tree->setColumnCount(ParamColumnCount);
    QStringList headers;
    for (const char *header : paramHeaders)
        headers << header;
    tree->setHeaderLabels(headers);
    for (int column : hiddenParamColumns)
        tree->hideColumn(column);
    // The first entry runs the type change, which builds the tree; the saved file survives it.
    for (const ConfigTemplate &t : templates->getTemplates())
        ui->comboBox_ModuleType->addItem(t.id);
    tree->header()->resizeSection(ColValue, 200);
    tree->header()->resizeSection(ColSelection, 100);
    tree->header()->setStretchLastSection(false);
    tree->header()->setSectionResizeMode(ColSelection, QHeaderView::Stretch);
    tree->header()->setSectionResizeMode(ColName, QHeaderView::ResizeToContents);
    editPending = false;
    BuildParamTree();
    if (!prefs->gui.getConfigFile().isEmpty())
        LoadConfig(prefs->gui.getConfigFile());
}

void MainWindow::reportTemplateProblems()
{
    const QStringList problems = templates->getProblems();
    for (const QString &problem : problems)
    {
        const QByteArray text = problem.toUtf8();
        GUI_LOG(logger, "MainWindow", "%s", text.constData());
    }
    if (!problems.isEmpty())
        ui->label_StatuParameters->setText(problems.join('\n'));
}

ConfigTemplate MainWindow::shownTemplate() const
{
    return templates ? templates->getTemplates().value(templateIndex) : ConfigTemplate();
}

void MainWindow::BuildParamTree()
{
    QTreeWidget *tree = ui->treeWidget_Param;
    tree->clear();
    const QList<ConfigTemplate> all = templates ? templates->getTemplates() : QList<ConfigTemplate>();
    if (templateIndex < 0 || templateIndex >= ui->comboBox_ModuleType->count() || templateIndex >= all.size())
        return;
    for (const ConfigParam &param : all.at(templateIndex).params)
    {
        QTreeWidgetItem *section = nullptr;
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
        {
            if (tree->topLevelItem(i)->text(ColName) == param.section)
            {
                section = tree->topLevelItem(i);
                break;
            }
        }
        if (!section)
        {
            section = new QTreeWidgetItem(tree);
            section->setText(ColName, param.section);
            section->setText(ColValue, SectionMark);
        }
        auto *row = new QTreeWidgetItem;
        row->setText(ColName, param.pretty_name);
        row->setText(ColCode, param.name);
        row->setText(ColMin, param.min);
        row->setText(ColMax, param.max);
        row->setText(ColRegex, param.regex);
        row->setText(ColAccess, param.access_right);
        row->setText(ColVib, param.vib);
        row->setData(ColCode, ItemLengthRole, ItemValue::integerLength(param.dib));
        row->setText(ColValue, param.access_right.toLower() == "ro" ? QString() : QString(EditHint));
        QString tip =
            "<p style='white-space:pre'>" + param.description + "<br> Access: " + accessText(param.access_right);
        for (int column : {ColName, ColValue, ColSelection})
            row->setToolTip(column, tip);
        row->setCheckState(ColSelection, Qt::Unchecked);
        row->setTextAlignment(ColValue, Qt::AlignLeft);
        setRowShade(row, false);
        section->addChild(row);
    }
}

void MainWindow::on_treeWidget_Param_itemDoubleClicked(QTreeWidgetItem *item, int column)
{
    if (!item)
        return;
    if (column != ColValue || !item->parent() || item->text(ColAccess).toLower() == "ro")
    {
        item->setFlags(item->flags() & ~Qt::ItemIsEditable);
        return;
    }
    if (item->text(ColValue).contains(EditHint))
        item->setText(ColValue, QString());
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    ui->treeWidget_Param->editItem(item, ColValue);
    item->setCheckState(ColSelection, Qt::Checked);
    editPending = true;
    configModified = true;
}

void MainWindow::on_treeWidget_Param_itemChanged(QTreeWidgetItem *item, int column)
{
    if (!item)
        return;
    if (column == ColSelection)
    {
        if (item->text(ColValue) == SectionMark || item->text(ColName) == SectionMark)
            return;
        if (item->checkState(ColSelection) != Qt::Checked)
        {
            setRowShade(item, false);
            return;
        }
        // Tolvern finds an item by its name: two rows of one name would both stand for the first.
        if (tickedNamesake(item))
        {
            item->setCheckState(ColSelection, Qt::Unchecked);
            UserMessage::critical("Error", "Config item " + item->text(ColCode) + " is named twice in " +
                                               shownTemplate().file + "\nOnly one of its rows can be ticked");
            return;
        }
        if (CollectParams(false).size() > MaxTicked)
        {
            item->setCheckState(ColSelection, Qt::Unchecked);
            UserMessage::critical("Error", "Too many items");
            return;
        }
        setRowShade(item, true);
        if (item->text(ColValue).contains(EditHint))
            item->setText(ColValue, QString());
    }
    else if (column == ColValue && editPending)
    {
        editPending = false;
        if (ValidateValue(item->text(ColValue), item->text(ColRegex), item->text(ColMin), item->text(ColMax),
                          QString()))
            item->setText(ColLastValue, item->text(ColValue));
        else
            item->setText(ColValue, item->text(ColLastValue));
    }
}

bool MainWindow::ValidateValue(const QString &value, const QString &regex, const QString &min, const QString &max,
                               const QString &name)
{
    const QString suffix = name.isEmpty() ? QString() : "\n ( " + name + " )";
    if (regex.isEmpty())
    {
        if (max.isEmpty() || min.isEmpty())
            return true;
        bool ok = false;
        const int number = value.toInt(&ok, 10);
        if (!ok)
        {
            UserMessage::critical("Error", "The value must be a number!" + suffix);
            return false;
        }
        bool minOk = false;
        bool maxOk = false;
        const int low = min.toInt(&minOk, 10);
        const int high = max.toInt(&maxOk, 10);
        if (!minOk || !maxOk)
            return false;
        if (low <= number && number <= high)
            return true;
        UserMessage::critical("Error", "Invalide Value (min:" + min + " max:" + max + ")" + suffix);
        return false;
    }
    qDebug().noquote() << "\tregexp:" + regex;
    // The whole value must match: a value that only holds a match (300 for [1-3]) is not one Tolvern takes.
    const QRegularExpression pattern(QRegularExpression::anchoredPattern(regex));
    if (pattern.isValid() && pattern.match(value).hasMatch())
        return true;
    if (regex.contains("[0-9a-fA-F]"))
    {
        const int open = regex.indexOf('{');
        QString count = open >= 0 ? regex.mid(open + 1) : regex;
        const int close = count.indexOf('}');
        if (close >= 0)
            count.remove(close, 20);
        UserMessage::critical("Error", "Invalide Value: hexadecimal format needed (" + count + " characters)" + suffix);
        return false;
    }
    UserMessage::critical("Error", "Invalide Value (" + regex + ")" + suffix);
    return false;
}

void MainWindow::collectRow(QTreeWidgetItem *row, bool validate, QList<ConfigParam> &params)
{
    if (row->checkState(ColSelection) == Qt::Checked &&
        (!validate || ValidateValue(row->text(ColValue), row->text(ColRegex), row->text(ColMin), row->text(ColMax),
                                    row->text(ColName))))
    {
        ConfigParam param;
        param.name = row->text(ColCode);
        param.pretty_name = row->text(ColName);
        param.value = row->text(ColValue);
        param.access_right = row->text(ColAccess);
        params << param;
    }
    for (int i = 0; i < row->childCount(); ++i)
        collectRow(row->child(i), validate, params);
}

QList<QTreeWidgetItem *> MainWindow::paramRows() const
{
    QList<QTreeWidgetItem *> rows;
    QTreeWidget *tree = ui->treeWidget_Param;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
    {
        QTreeWidgetItem *section = tree->topLevelItem(i);
        for (int j = 0; j < section->childCount(); ++j)
            rows << section->child(j);
    }
    return rows;
}

QTreeWidgetItem *MainWindow::tickedNamesake(QTreeWidgetItem *row) const
{
    for (QTreeWidgetItem *other : paramRows())
    {
        if (other != row && other->text(ColCode) == row->text(ColCode) &&
            other->checkState(ColSelection) == Qt::Checked)
            return other;
    }
    return nullptr;
}

QTreeWidgetItem *MainWindow::paramRowNamed(const QString &code) const
{
    for (QTreeWidgetItem *row : paramRows())
    {
        if (row->text(ColCode) == code)
            return row;
    }
    return nullptr;
}

QList<ConfigParam> MainWindow::CollectParams(bool validate)
{
    QList<ConfigParam> params;
    QTreeWidget *tree = ui->treeWidget_Param;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        collectRow(tree->topLevelItem(i), validate, params);
    return params;
}

void MainWindow::on_comboBox_ModuleType_currentIndexChanged(int index)
{
    if (typeRevert)
    {
        typeRevert = false;
        return;
    }
    // The configuration being left is saved while its tree still stands, under its own template's id.
    if (!settleConfigChanges())
    {
        typeRevert = true;
        ui->comboBox_ModuleType->setCurrentIndex(templateIndex);
        return;
    }
    if (firstTypeChange)
        firstTypeChange = false;
    else
    {
        prefs->gui.setConfigFile(QString());
        ui->tabWidget_ModuleConf->setTabText(1, "Parameters");
    }
    configModified = false;
    templateIndex = index;
    BuildParamTree();
}

bool MainWindow::settleConfigChanges()
{
    if (!configModified)
        return true;
    const UserMessage::Answer answer =
        UserMessage::saveChanges("The configuration has been modified.", "Do you want to save your changes?");
    if (answer == UserMessage::Answer::No)
        return true;
    return answer == UserMessage::Answer::Yes && saveConfig();
}

void MainWindow::on_actionNew_config_triggered()
{
    ui->tabWidget_ModuleConf->setTabText(1, "Parameters");
    prefs->gui.setConfigFile(QString());
    BuildParamTree();
    configModified = true;
}

void MainWindow::on_actionOpen_Config_triggered()
{
    const QString name = FileChooser::openFile(
        this, "Open configuration File", FileChooser::startDirectory(prefs->gui.getConfigFile()), "XML Files (*.xml)");
    if (name.isEmpty() || !QFileInfo::exists(name))
    {
        qDebug() << "File not found";
        return;
    }
    LoadConfig(name);
}

bool MainWindow::LoadConfig(const QString &file)
{
    const ConfigDocument document(file);
    const QList<ConfigParam> params = document.getParams();
    if (params.isEmpty())
    {
        UserMessage::critical("Error", "Invalide file format ");
        return false;
    }
    const int index = ui->comboBox_ModuleType->findText(document.getId(), Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0)
    {
        UserMessage::critical("Error", "Template Id not found:" + document.getId());
        return false;
    }
    ui->comboBox_ModuleType->setCurrentIndex(index);
    // A Cancel of the save question leaves the previous type's tree: loading into it would mix two types.
    if (ui->comboBox_ModuleType->currentIndex() != index)
        return false;
    templateIndex = index;

    for (QTreeWidgetItem *row : paramRows())
    {
        row->setText(ColValue, QString());
        row->setText(ColLastValue, QString());
        row->setCheckState(ColSelection, Qt::Unchecked);
        row->parent()->setExpanded(false);
    }
    // A name given twice in the template stands for its first row: the one Tolvern writes.
    for (const ConfigParam &param : params)
    {
        QTreeWidgetItem *row = paramRowNamed(param.name);
        if (!row)
            continue;
        row->setText(ColValue, param.value);
        row->setText(ColLastValue, param.value);
        row->setCheckState(ColSelection, Qt::Checked);
        row->parent()->setExpanded(true);
    }
    ui->tabWidget_ModuleConf->setTabText(1, "Parameters (" + QFileInfo(file).fileName() + ")");
    // The file on show is the one Save writes, also after the type change of this load.
    prefs->gui.setConfigFile(file);
    configModified = false;
    return true;
}

bool MainWindow::writeConfigFile(const QString &file)
{
    // The tree's own template, not the type box: during a type change the box already shows the next one.
    const ConfigDocument document(shownTemplate().id, CollectParams(false), file);
    if (document.written())
        return true;
    const QByteArray name = file.toUtf8();
    GUI_LOG(logger, "MainWindow", "configuration not written: %s", name.constData());
    UserMessage::critical("Error", "Unable to write the configuration file: " + file);
    return false;
}

void MainWindow::on_actionSave_config_triggered()
{
    saveConfig();
}

void MainWindow::on_actionSave_config_as_triggered()
{
    saveConfigAs();
}

bool MainWindow::saveConfig()
{
    if (prefs->gui.getConfigFile().isEmpty())
        return saveConfigAs();
    if (!writeConfigFile(prefs->gui.getConfigFile()))
        return false;
    configModified = false;
    return true;
}

bool MainWindow::saveConfigAs()
{
    const QString name = FileChooser::saveFile(
        this, "Save configuration file", FileChooser::startDirectory(prefs->gui.getConfigFile()), "XML Files (*.xml)");
    if (name.isEmpty())
    {
        qDebug() << "invalid filename";
        return false;
    }
    if (!writeConfigFile(name))
        return false;
    ui->tabWidget_ModuleConf->setTabText(1, "Parameters (" + QFileInfo(name).fileName() + ")");
    prefs->gui.setConfigFile(name);
    configModified = false;
    return true;
}
