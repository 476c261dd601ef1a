// Reading and writing the ticked parameters of one radio module through a configuration job.
#include "MainWindow.h"

#include "ConfigDocument.h"
#include "Dialog_DongleOperation.h"
#include "ItemValue.h"
#include "Logger.h"
#include "ParamColumns.h"
#include "UserMessage.h"
#include "reverseAddressBytes.h"
#include "tolvern_config.h"
#include "ui_MainWindow.h"
#include "xml_preferences.h"

#include <QDebug>

namespace
{
// How a read-back record fills a row whose VIB names it, beyond the plain copy of its value.
enum class Rendering
{
    Version,
    Hex,
    Decimal
};

struct SpecialRecord
{
    const char *unit; // contained in the record's unit
    const char *vib;  // contained in the row's VIB
    Rendering rendering;
    const char *trace; // debug output before the text; null for none
};

constexpr SpecialRecord specialRecords[] = {
    {"Firmware version", "0xFD0E", Rendering::Version, nullptr},
    {"Bus Address", "0x7A", Rendering::Hex, "Adddress: "},
    {"On time (seconds)", "0x20", Rendering::Decimal, "Uptime: "},
    {"m V", "0xFD46", Rendering::Decimal, "VBatt: "},
};

QString renderReadBack(Rendering rendering, const QString &value)
{
    switch (rendering)
    {
    case Rendering::Version:
    {
        const int v = value.toInt();
        return QString::number(v / 256) + "." + QString::number(v % 256);
    }
    case Rendering::Hex:
        return QString::number(value.toULongLong(), 16);
    case Rendering::Decimal:
        return QString::number(value.toULongLong());
    }
    return value;
}
} // namespace

void MainWindow::on_pushButton_ReadParam_clicked()
{
    startParamAccess(false);
}

void MainWindow::on_pushButton_WriteParam_clicked()
{
    startParamAccess(true);
}

void MainWindow::startParamAccess(bool write)
{
    if (operationDialogBusy())
    {
        refuseBusy();
        return;
    }
    QList<ConfigParam> params = CollectParams(false);
    // A write is all or nothing: every value that fails shows its box, and then nothing is written.
    if (write && CollectParams(true).size() != params.size())
        return;
    const QString refused = write ? "ro" : "wo";
    bool anyRefused = false;
    for (const ConfigParam &param : params)
    {
        if (param.access_right == refused)
        {
            UserMessage::critical("Error ", "Access for param " + param.pretty_name +
                                                (write ? " is read only" : " is write only"));
            anyRefused = true;
        }
    }
    if (anyRefused)
        return;
    if (!write)
    {
        // A read only names the items it asks for. The rows show what the last read rendered (a version
        // as "1.2", an address in hexadecimal), which Tolvern would refuse as an item's value.
        for (ConfigParam &param : params)
            param.value.clear();
    }

    const QString id = shownTemplate().id;
    auto document = std::make_unique<ConfigDocument>(id, params, QString());
    if (document->getParams().isEmpty())
    {
        GUI_LOG(logger, "MainWindow", "config parameters list is empty");
        UserMessage::critical("Error ", "Config parameters list is empty");
        return;
    }
    if (!document->exists() || !document->written())
    {
        qDebug() << "Xml file creation error";
        return;
    }
    requestDocument = document.release();
    configJob = new tolvern_config(prefs->wmbus.data(), id, this, logger, prefs->gui.getAutoKill());
    // The request file goes with the job, after the job has stopped the Tolvern run that reads it.
    ConfigDocument *request = requestDocument;
    connect(configJob.data(), &QObject::destroyed, [request]() { delete request; });

    connect(configJob.data(), &tolvern_config::Connected, operationDialog, &Dialog_DongleOperation::ModuleConnected);
    if (!write)
        connect(configJob.data(), &tolvern_config::Connected, this, &MainWindow::on_Connected);
    connect(configJob.data(), &tolvern_config::ConfigDone, operationDialog, &Dialog_DongleOperation::EndOfConfigAccess);
    connect(configJob->process(), &tolvern_process::SendProcessEnd, this, &MainWindow::ParamAccessExecutionError);
    if (write)
        connect(operationDialog, &Dialog_DongleOperation::OperationAccepted, this, &MainWindow::on_OperationCanceled);
    else
        connect(operationDialog, &Dialog_DongleOperation::OperationAccepted, this, &MainWindow::on_OperationAccepted);
    connect(operationDialog, &Dialog_DongleOperation::OperationCanceled, this, &MainWindow::on_OperationCanceled);

    if (write)
        configJob->WriteConfig(requestDocument->fileName());
    else
        configJob->ReadConfig(requestDocument->fileName());
    busy = true;
    operationDialog->setModal(true);
    operationDialog->exec();
    // Closed with its own close control or Escape, the dialog says nothing: that counts as Cancel, or the
    // access would hold the modem for good.
    if (configJob)
        on_OperationCanceled();
}

void MainWindow::on_Connected(QString address)
{
    ui->label_StatuParameters->setText("Module Id: " + reverseAddressBytes(address));
}

void MainWindow::on_OperationAccepted()
{
    busy = false;
    const QList<ConfigParam> readBack =
        configJob && configJob->document() ? configJob->document()->getParams() : QList<ConfigParam>();
    const QList<QTreeWidgetItem *> rows = paramRows();
    for (const ConfigParam &param : readBack)
    {
        const QString key = param.vib.toUpper().replace("0X", "0xFF");
        for (QTreeWidgetItem *row : rows)
            fillReadBackRow(row, param, key);
    }
    configModified = false;
    on_OperationCanceled();
}

void MainWindow::fillReadBackRow(QTreeWidgetItem *row, const ConfigParam &param, const QString &key)
{
    const QString vib = row->text(ColVib);
    // The value as the item was written, not as the decoder reads a meter's value of that length.
    const QString value = ItemValue::asWritten(param.value, row->data(ColCode, ItemLengthRole).toInt(),
                                               ItemValue::allowsNegative(row->text(ColMin)));
    QString text;
    bool matched = false;
    if (vib.contains(key))
    {
        text = value;
        matched = true;
    }
    else
    {
        for (const SpecialRecord &special : specialRecords)
        {
            if (!param.unit.contains(special.unit) || !vib.contains(special.vib))
                continue;
            text = renderReadBack(special.rendering, value);
            if (special.trace)
                qDebug().noquote() << special.trace + text;
            matched = true;
            break;
        }
    }
    if (!matched)
        return;
    row->setData(ColValue, Qt::DisplayRole, text);
    row->setData(ColLastValue, Qt::DisplayRole, text);
}

void MainWindow::on_OperationCanceled()
{
    busy = false;
    GUI_LOG(logger, "MainWindow", "param access, end of operation");
    disconnect(operationDialog, &Dialog_DongleOperation::OperationCanceled, nullptr, nullptr);
    disconnect(operationDialog, &Dialog_DongleOperation::OperationAccepted, nullptr, nullptr);
    if (configJob)
    {
        disconnect(configJob.data(), &tolvern_config::Connected, nullptr, nullptr);
        disconnect(configJob.data(), &tolvern_config::ConfigDone, nullptr, nullptr);
        if (configJob->process())
            disconnect(configJob->process(), nullptr, this, nullptr);
    }
    operationDialog->close();
    // The job may be the sender of what is being handled (its runner's exit code): it goes right after.
    if (configJob)
        configJob->deleteLater();
    configJob = nullptr;
    requestDocument = nullptr;
}

void MainWindow::ParamAccessExecutionError(int iErrorCode)
{
    busy = false;
    reportExitCode(iErrorCode, requestDocument ? requestDocument->fileName() : QString());
    on_OperationCanceled();
}
