#include "FlashDongle.h"

#include "Logger.h"
#include "UserMessage.h"
#include "ui_FlashDongle.h"
#include "xml_preferences.h"

#include "FileChooser.h"
#include <QDebug>
#include <QFile>
#include <QTextStream>

FlashDongle::FlashDongle(QWidget *parent, xml_preferences *prefs, Logger *logger)
    : QDialog(parent), ui(new Ui_FlashDongle), logger(logger), prefs(prefs)
{
    ui->setupUi(this);
}

FlashDongle::~FlashDongle()
{
    // The tool is not ours to leave behind half-way: the process object ends it when it goes.
    process.reset();
    delete ui;
}

void FlashDongle::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    success = false;
    running = false;
    ui->labelStatus->clear();
    ui->progressBarVerify->setValue(0);
    ui->progressBarVerify->setEnabled(false);
    ui->progressBarWrite->setValue(0);
    ui->progressBarWrite->setEnabled(true);
}

void FlashDongle::on_pushButtonOpen_clicked()
{
    hexPath =
        FileChooser::openFile(this, "Open firmware File", FileChooser::startDirectory(QString()), "bin Files (*.hex)");
    if (!hexPath.isEmpty() && QFile::exists(hexPath))
    {
        ui->lineEdit->setText(hexPath);
        ui->pushButtonStart->setEnabled(true);
    }
    else
        qDebug() << "File not found";
}

int FlashDongle::countLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    QTextStream stream(&file);
    int count = 0;
    while (!stream.atEnd())
    {
        stream.readLine();
        ++count;
    }
    return count;
}

int FlashDongle::totalFor(const QString &path)
{
    const int quotient = countLines(path) / LinesPerCount;
    return quotient == 0 ? DefaultTotal : quotient;
}

QString FlashDongle::toolArguments(const QString &port, const QString &hexFile)
{
    return " " + port.mid(3) + " \"" + hexFile + "\"";
}

int FlashDongle::progressCount(const QString &line, bool *present)
{
    const QStringList fields = line.split(' ');
    *present = fields.size() >= 4;
    if (!*present)
        return 0;
    bool ok = false;
    const int value = fields.at(3).toInt(&ok);
    return ok ? value : 0;
}

void FlashDongle::on_pushButtonStart_clicked()
{
    const QByteArray tool = QByteArray(ToolPath);
    if (!QFile::exists(ToolPath))
    {
        UserMessage::critical("Error", "flasher tool not found: " + QString(ToolPath));
        GUI_LOG(logger, "FlashDongle", "FLasher not found not found %s", tool.constData());
        return;
    }
    total = totalFor(ui->lineEdit->text());
    GUI_LOG(logger, "FlashDongle", "Line Count: %d:", total);
    const QString arguments = toolArguments(prefs->wmbus.getPort(), ui->lineEdit->text());
    const QByteArray shown = arguments.toUtf8();
    GUI_LOG(logger, "FlashDongle", "command: %s%s", tool.constData(), shown.constData());

    process = std::make_unique<QProcess>();
    connect(process.get(), &QProcess::readyReadStandardOutput, this, &FlashDongle::ReadOutPut);
    connect(process.get(), &QProcess::readyReadStandardError, this, &FlashDongle::ReadError);
    connect(process.get(), QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &FlashDongle::EndOfCommand);
    connect(process.get(), &QProcess::errorOccurred, this, &FlashDongle::StartFailed);

    ui->pushButtonStart->setEnabled(false);
    ui->pushButtonExit->setEnabled(false);
    ui->progressBarVerify->setEnabled(true);
    ui->progressBarWrite->setEnabled(true);
    ui->progressBarVerify->setValue(0);
    ui->progressBarWrite->setValue(0);
    ui->labelStatus->clear();
    success = false;
    running = true;
    toolActive = true;
    emit ToolRunning(true);

    QStringList command = QProcess::splitCommand(QString(ToolPath) + arguments);
    const QString program = command.takeFirst();
    process->start(program, command, QIODevice::ReadOnly | QIODevice::Text | QIODevice::Unbuffered);
    process->setReadChannel(QProcess::StandardOutput);
}

// A tool that cannot be started never ends: without this the dialog would keep both buttons disabled.
void FlashDongle::StartFailed(QProcess::ProcessError error)
{
    if (error != QProcess::FailedToStart || !process)
        return;
    errorText = process->errorString();
    EndOfCommand();
}

void FlashDongle::ReadOutPut()
{
    if (!process)
        return;
    const QByteArray bytes = process->readAllStandardOutput();
    QString text = QString::fromLocal8Bit(bytes.constData()); // up to the first zero byte
    text.replace("\r\n", "\n");
    for (const QString &line : text.split('\n'))
    {
        if (!line.isEmpty())
            handleLine(line);
    }
}

void FlashDongle::handleLine(const QString &line)
{
    bool present = false;
    if (line.contains("downloading"))
    {
        const int n = progressCount(line, &present);
        if (present)
            ui->progressBarWrite->setValue(n * 100 / total);
    }
    else if (line.contains("verifying"))
    {
        const int n = progressCount(line, &present);
        if (present)
        {
            ui->progressBarVerify->setValue(n * 100 / total);
            if (n > total / 2)
                success = true;
        }
    }
    else if (line.contains("KO"))
    {
        GUI_LOG(logger, "FlashDongle", "KO");
        success = false;
        errorText = line.simplified().remove("[KO]");
        if (process)
            process->kill();
    }
    else if (line.contains("Reset"))
    {
        GUI_LOG(logger, "FlashDongle", "Reset");
        ui->labelStatus->setText("Reseting dongle ...");
    }
    else if (line.contains("ERASING"))
    {
        GUI_LOG(logger, "FlashDongle", "ERASING");
        ui->labelStatus->setText("Erasing ...");
    }
    else if (line.contains("DOWNLOADING"))
    {
        GUI_LOG(logger, "FlashDongle", "DOWNLOADING");
        ui->labelStatus->setText("Writing ...");
    }
    else if (line.contains("VERIFYING"))
    {
        GUI_LOG(logger, "FlashDongle", "VERIFYING");
        ui->labelStatus->setText("Verifying ...");
    }
    else
        qDebug().noquote() << line;
}

void FlashDongle::ReadError()
{
    if (!process)
        return;
    const QByteArray bytes = process->readAllStandardError().simplified();
    errorText = QString::fromUtf8(bytes.constData());
}

void FlashDongle::EndOfCommand()
{
    GUI_LOG(logger, "FlashDongle", "end of cmd");
    if (success)
        ui->labelStatus->setText("Dongle firmware updated: success");
    else
        ui->labelStatus->setText("Dongle firmware updated: failed (" + errorText + ")");
    ui->pushButtonStart->setEnabled(true);
    ui->pushButtonExit->setEnabled(true);
    if (toolActive)
    {
        toolActive = false;
        emit ToolRunning(false);
    }
}

void FlashDongle::reject()
{
    if (toolActive)
        return;
    QDialog::reject();
}

void FlashDongle::on_pushButtonExit_clicked()
{
    if (running)
    {
        process.reset();
        running = false;
    }
    close();
}
