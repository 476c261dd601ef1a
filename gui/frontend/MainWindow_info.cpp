// The Informations page: one module's identity, firmware, battery and last values from its RSP-UD answer.
#include "MainWindow.h"

#include "Dialog_DongleOperation.h"
#include "Logger.h"
#include "UserMessage.h"
#include "tolvern_capture.h"
#include "tolvern_process.h"
#include "ui_MainWindow.h"
#include "xml_capture.h"
#include "xml_preferences.h"

#include <QDebug>
#include <QDomDocument>
#include <QThread>
#include <QTimer>

namespace
{
constexpr int BasicsTimeoutMs = 30000;
constexpr int BasicsEndPauseMs = 1000;
} // namespace

void MainWindow::on_pushButton_basics_clicked()
{
    if (operationDialogBusy())
    {
        refuseBusy();
        return;
    }
    busy = true;
    basicsHoldsBusy = true;
    basicsActive = true;
    releaseBasicsJob();
    basicsStore = std::make_unique<xml_capture>(logger);
    basicsJob =
        new tolvern_capture(prefs->wmbus.data(), basicsStore.get(), this, logger, prefs->gui.getAutoKill(), true);
    connect(basicsJob.data(), &tolvern_capture::ReceiveNewFrame, this, &MainWindow::on_BasicsNewFrame);
    connect(basicsJob->process(), &tolvern_process::SendProcessEnd, this, &MainWindow::CaptureExecutionError);
    basicsJob->process()->start(QThread::InheritPriority);

    basicsTimer = new QTimer;
    basicsTimer->setSingleShot(true);
    connect(basicsTimer, &QTimer::timeout, this, &MainWindow::BasicsTO);
    basicsTimer->start(BasicsTimeoutMs);

    connect(operationDialog, &Dialog_DongleOperation::OperationAccepted, this, &MainWindow::on_BasicsEnd);
    connect(operationDialog, &Dialog_DongleOperation::OperationCanceled, this, &MainWindow::on_BasicsEnd);

    for (QLabel *label :
         {ui->label_ModuleId, ui->label_SoftawreVersion_2, ui->label_VBatt, ui->label_Index_1, ui->label_Index_2})
        label->setText("---");
    operationDialog->setModal(true);
    basicsInDialog = true;
    operationDialog->exec();
    basicsInDialog = false;
    // Left by Escape or the window's close button, the dialog said nothing: its OK and Cancel belong to the
    // next operation from now on. A read still waiting goes on in the background; one that has already
    // timed out or failed has nothing left to wait for.
    disconnect(operationDialog, &Dialog_DongleOperation::OperationAccepted, this, &MainWindow::on_BasicsEnd);
    disconnect(operationDialog, &Dialog_DongleOperation::OperationCanceled, this, &MainWindow::on_BasicsEnd);
    if (basicsActive && !basicsHoldsBusy)
        on_BasicsEnd();
}

void MainWindow::on_BasicsNewFrame()
{
    if (!basicsActive || !basicsStore)
        return;
    const QList<CaptureFrame> frames = basicsStore->getFrames();
    for (const CaptureFrame &stored : frames)
    {
        const CaptureFrame_t frame = stored.getData();
        if (!frame.Type.contains("RSP-UD"))
            continue;
        showModuleInformation(frame);
        on_BasicsEnd();
        return;
    }
}

void MainWindow::showModuleInformation(const CaptureFrame_t &frame)
{
    ui->label_ModuleId->setText(frame.Id);
    const QByteArray id = frame.Id.toUtf8();
    GUI_LOG_AS(logger, "MainWindow", "on_BasicsNewFrame", "id: %s", id.constData());

    QDomDocument document;
    if (!document.setContent(frame.xml))
        return;
    const QDomElement root = document.documentElement();
    if (root.isNull() || root.tagName() != "mbus")
        return;
    const QDomElement records = root.firstChildElement("records");
    for (QDomElement record = records.firstChildElement(); !record.isNull(); record = record.nextSiblingElement())
    {
        if (record.tagName() == "record")
            showInformationRecord(record, frame.Medium);
    }
}

void MainWindow::showInformationRecord(const QDomElement &record, const QString &medium)
{
    const QString unit = record.attribute("unit");
    const QDomNode first = record.firstChild();
    const QString value = first.isText() ? first.toText().data() : QString();

    if (unit.contains("Firmware version"))
    {
        const int v = value.toInt();
        const QString text = QString::number(v >> 8) + "." + QString::number(v & 255);
        qDebug().noquote() << "Firmware version: " + text;
        ui->label_SoftawreVersion_2->setText(text);
    }
    else if (unit.contains("Vendor specific VIF extension"))
    {
        if (record.attribute("vife", "0x00").contains("0x46"))
        {
            const QString volts = QString::number(value.toFloat() / 1000.0f, 'f', 2);
            qDebug().noquote() << "VBATT: " + volts;
            ui->label_VBatt->setText(volts + " V");
        }
        else
            qDebug() << "unsupported vife";
    }
    else if (medium.contains("Temperature"))
    {
        ui->label_lastrecorded->setText("Last recorded values :");
        if (unit.contains("External temperature"))
        {
            qDebug().noquote() << "temp: " + value;
            ui->label_Index_1->setText(QString::number(value.toFloat() / 10.0f, 'f', 1) + QString::fromUtf8("°C"));
            ui->label_ch1->setText("Temperature :");
        }
        else if (unit.contains("Relative humidity"))
        {
            qDebug().noquote() << "humidity: " + value;
            ui->label_Index_2->setText(QString::number(value.toInt()) + "%");
            ui->label_ch2->setText("Relative humidity :");
        }
    }
    else
    {
        ui->label_lastrecorded->setText("Last recorded index :");
        const QString subunit = record.attribute("subunit", "0");
        if (subunit.contains("0"))
        {
            qDebug().noquote() << "Index 1: " + value;
            ui->label_Index_1->setText(value);
            ui->label_ch1->setText("Channel 1 :");
        }
        else if (subunit.contains("1"))
        {
            qDebug().noquote() << "Index 2: " + value;
            ui->label_Index_2->setText(value);
            ui->label_ch2->setText("Channel 2 :");
        }
        else
            qDebug() << "unknonwn index";
    }
}

void MainWindow::on_BasicsEnd()
{
    if (basicsHoldsBusy)
        busy = false;
    basicsHoldsBusy = false;
    basicsActive = false;
    GUI_LOG(logger, "MainWindow", "basics read, end of operation");
    // A read going on in the background no longer owns the dialog.
    if (basicsInDialog)
    {
        disconnect(operationDialog, &Dialog_DongleOperation::OperationCanceled, nullptr, nullptr);
        disconnect(operationDialog, &Dialog_DongleOperation::OperationAccepted, nullptr, nullptr);
        operationDialog->close();
    }
    if (basicsJob)
    {
        disconnect(basicsJob.data(), nullptr, this, nullptr);
        if (basicsJob->process())
        {
            disconnect(basicsJob->process(), nullptr, this, nullptr);
            basicsJob->process()->Kill();
        }
    }
    QThread::msleep(BasicsEndPauseMs);
    if (basicsTimer)
    {
        basicsTimer->stop();
        basicsTimer->deleteLater();
        basicsTimer = nullptr;
    }
    // The job may be the sender of the signal being handled: it goes once that has returned.
    if (basicsJob)
        basicsJob->deleteLater();
}

void MainWindow::BasicsTO()
{
    if (basicsHoldsBusy)
        busy = false;
    basicsHoldsBusy = false;
    if (basicsJob && basicsJob->process())
        basicsJob->process()->Kill();
    // Left earlier by Escape or the window's close button: no Cancel will come to end it.
    if (basicsActive && !basicsInDialog)
        on_BasicsEnd();
}

void MainWindow::releaseBasicsJob()
{
    // A job from an earlier read still waiting for deletion must be gone before its store is replaced.
    if (basicsJob)
        delete basicsJob.data();
    // A read left by the dialog's own close and then timed out never reached its end: its timer is still ours.
    delete basicsTimer;
    basicsTimer = nullptr;
}
