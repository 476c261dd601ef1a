// The Firmware Update page: sending a new image to one radio module over the air.
#include "MainWindow.h"

#include "Dialog_DongleOperation.h"
#include "FileChooser.h"
#include "Logger.h"
#include "UserMessage.h"
#include "tolvern_update.h"
#include "ui_MainWindow.h"
#include "xml_preferences.h"

#include <QApplication>
#include <QFileInfo>
#include <QTimer>

namespace
{
constexpr int PacketTimeoutMs = 30000;
constexpr int InstallTimeoutMs = 330000;
constexpr int BootTickMs = 1000;
} // namespace

void MainWindow::setupFirmwarePage()
{
    const QString last = prefs->gui.getFirmwareFile();
    if (!last.isEmpty() && QFileInfo::exists(last))
        ui->lineEdit_FirmwareFile->setText(last);
}

void MainWindow::on_toolButton_FirmwareFile_clicked()
{
    const QString name = FileChooser::openFile(
        this, "Open firmware File", FileChooser::startDirectory(prefs->gui.getFirmwareFile()), "bin Files (*.bin)");
    if (name.isEmpty() || !QFileInfo::exists(name))
    {
        GUI_LOG(logger, "MainWindow", "File not found");
        return;
    }
    prefs->gui.setFirmwareFile(name);
    firmwareFile = name;
    firmwareSize = static_cast<int>(QFileInfo(name).size());
    ui->progressBar_FileTransfer->setMaximum(firmwareSize);
    ui->progressBar_FileTransfer->setValue(0);
    ui->progressBar_BootLoader->setValue(0);
    ui->lineEdit_FirmwareFile->setText(name);
    // While an update runs, its Cancel stays the way out; Start waits for its end.
    if (!updateRunning)
    {
        ui->pushButton_StartUpdate->setEnabled(true);
        ui->pushButton_cancel_update->setEnabled(false);
    }
    ui->label_updateModuleId->clear();
    ui->label_updateStatus->clear();
}

void MainWindow::on_pushButton_StartUpdate_clicked()
{
    if (operationDialogBusy())
    {
        refuseBusy();
        return;
    }
    busy = true;
    updateRunning = true;
    ui->pushButton_StartUpdate->setEnabled(false);
    for (QWidget *widget :
         {static_cast<QWidget *>(ui->pushButton_cancel_update), static_cast<QWidget *>(ui->label_FileTransfer),
          static_cast<QWidget *>(ui->label_BootLoader), static_cast<QWidget *>(ui->progressBar_FileTransfer),
          static_cast<QWidget *>(ui->progressBar_BootLoader)})
        widget->setEnabled(true);

    releaseUpdateJob();
    updateJob = new tolvern_update(prefs->wmbus.data(), firmwareFile, this, logger, prefs->gui.getAutoKill());
    if (updateJob->process())
        connect(updateJob->process(), &tolvern_process::SendProcessEnd, this, &MainWindow::UpdateExecutionError);
    connect(updateJob.data(), &tolvern_update::Connected, operationDialog, &Dialog_DongleOperation::ModuleConnected);
    connect(updateJob.data(), &tolvern_update::PacketSent, this, &MainWindow::on_UpdatePacketSent);
    connect(updateJob.data(), &tolvern_update::Debug, this, &MainWindow::on_UpdateStatus);
    connect(updateJob.data(), &tolvern_update::UpdateDone, this, &MainWindow::on_UpdateFinished);
    updateCancelBinding = connect(operationDialog, &Dialog_DongleOperation::OperationCanceled, this,
                                  &MainWindow::on_pushButton_cancel_update_clicked);

    bootloaderTimer = new QTimer(this);
    connect(bootloaderTimer, &QTimer::timeout, this, &MainWindow::UpdateTimer);
    cliTimeoutTimer = new QTimer(this);
    cliTimeoutTimer->setSingleShot(true);
    connect(cliTimeoutTimer, &QTimer::timeout, this, &MainWindow::UpdateCliTimeOut);

    operationDialog->setModal(true);
    operationDialog->exec();
}

void MainWindow::on_UpdatePacketSent(int iSize)
{
    if (cliTimeoutTimer)
        cliTimeoutTimer->start(PacketTimeoutMs);
    // Only a dialog the user is looking at goes away by itself; behind another window it waits for them.
    if (QApplication::activeWindow() == operationDialog)
        operationDialog->close();
    int sent = iSize == -1 ? ui->progressBar_FileTransfer->maximum() : iSize;
    ui->progressBar_FileTransfer->setValue(sent);
    if (sent >= firmwareSize)
    {
        if (cliTimeoutTimer)
            cliTimeoutTimer->start(InstallTimeoutMs);
        if (bootloaderTimer)
            bootloaderTimer->start(BootTickMs);
        bootSeconds = 0;
    }
    if (ui->label_updateModuleId->text().isEmpty())
        ui->label_updateModuleId->setText("Firmware update for module: " + operationDialog->getModuleId());
}

void MainWindow::on_UpdateStatus(QString line)
{
    ui->label_updateStatus->setText(line);
}

void MainWindow::UpdateTimer()
{
    ++bootSeconds;
    ui->progressBar_BootLoader->setValue(qMin(bootSeconds, ui->progressBar_BootLoader->maximum()));
}

void MainWindow::on_UpdateFinished(int status)
{
    GUI_LOG(logger, "MainWindow", "signal!!");
    ResetUpdateTab();
    const QString module = "Firmware update status for module id" + operationDialog->getModuleId();
    if (status == 0)
        UserMessage::plain(module + "\nsuccess");
    else
        UserMessage::critical("error", module + "\nerror (code: " + QString::number(status) + " )");
}

void MainWindow::UpdateExecutionError(int iErrorCode)
{
    ResetUpdateTab();
    reportExitCode(iErrorCode);
}

void MainWindow::UpdateCliTimeOut()
{
    stopUpdateRun();
    ResetUpdateTab();
    UserMessage::critical("Error", "Communication time out");
}

void MainWindow::on_pushButton_cancel_update_clicked()
{
    stopUpdateRun();
    ResetUpdateTab();
}

void MainWindow::stopUpdateRun()
{
    if (updateJob && updateJob->process())
        updateJob->process()->Kill();
}

void MainWindow::ResetUpdateTab()
{
    // Only an update still running gives the flag back: a late report of an ended one must not free
    // the modem under another operation.
    if (updateRunning)
        busy = false;
    updateRunning = false;
    if (cliTimeoutTimer)
        cliTimeoutTimer->stop();
    ui->progressBar_FileTransfer->setValue(0);
    ui->progressBar_BootLoader->setValue(0);
    ui->pushButton_StartUpdate->setEnabled(!firmwareFile.isEmpty());
    for (QWidget *widget :
         {static_cast<QWidget *>(ui->pushButton_cancel_update), static_cast<QWidget *>(ui->label_FileTransfer),
          static_cast<QWidget *>(ui->label_BootLoader), static_cast<QWidget *>(ui->progressBar_FileTransfer),
          static_cast<QWidget *>(ui->progressBar_BootLoader)})
        widget->setEnabled(false);
    if (bootloaderTimer)
        bootloaderTimer->stop();
    ui->label_updateModuleId->clear();
    disconnect(updateCancelBinding);
    // An ended update reports nothing more, also not to the dialog, which may already serve the next
    // operation while a stopped run prints its last lines.
    if (updateJob)
    {
        disconnect(updateJob.data(), nullptr, this, nullptr);
        disconnect(updateJob.data(), nullptr, operationDialog, nullptr);
        if (updateJob->process())
            disconnect(updateJob->process(), nullptr, this, nullptr);
    }
}

void MainWindow::releaseUpdateJob()
{
    if (updateJob)
    {
        stopUpdateRun();
        delete updateJob.data();
    }
    delete bootloaderTimer;
    bootloaderTimer = nullptr;
    delete cliTimeoutTimer;
    cliTimeoutTimer = nullptr;
}
