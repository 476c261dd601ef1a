#include "Dialog_about.h"

#include "FlashDongle.h"
#include "Logger.h"
#include "UserMessage.h"
#include "tolvern_info.h"
#include "ui_Dialog_about.h"
#include "xml_preferences.h"

Dialog_about::Dialog_about(QWidget *parent, Logger *logger)
    : QDialog(parent), logger(logger), ui(new Ui_Dialog_about), prefs(new xml_preferences), flash(nullptr)
{
    ui->setupUi(this);
    flash = new FlashDongle(this, prefs, logger);
    connect(flash, &QDialog::finished, this, &Dialog_about::on_flashdongle_finished);
}

Dialog_about::~Dialog_about()
{
    releaseQuery();
    delete flash; // it uses our preferences object, so it goes first
    delete prefs;
    delete ui;
}

QString Dialog_about::versionToString(int version)
{
    return QString::number((version >> 8) & 0xFF) + "." + QString::number(version & 0xFF);
}

void Dialog_about::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    startQuery();
}

void Dialog_about::startQuery()
{
    prefs->read();
    if (prefs->wmbus.getPort() != PrefsWMBus::NoPort)
    {
        // A query still going from an earlier showing answers for a port that may no longer be the one.
        releaseQuery();
        query = new tolvern_info(prefs->wmbus.data(), this, logger, true);
        connect(query.data(), &tolvern_info::GetInfoDone, this, &Dialog_about::UpdateAboutInfo);
    }
    ui->label_HLVTB_Version->setText(GuiVersion);
    ui->label_TOLVERN_Version->setText("...");
    ui->label_DongleRadioId->setText("...");
    ui->label_DongleFirmwareVersion->setText("...");
    ui->label_DongleHardwareVersion->setText("...");
}

void Dialog_about::releaseQuery()
{
    delete query.data();
}

void Dialog_about::UpdateAboutInfo(DongleInfo_t *info)
{
    if (!info)
    {
        close();
        UserMessage::critical("Error", "Tolvern command execution failed");
        return;
    }
    ui->label_TOLVERN_Version->setText(versionToString(info->cliVersion));
    ui->label_DongleRadioId->setText(info->address);
    ui->label_DongleFirmwareVersion->setText(versionToString(info->firmwareVersion));
    ui->label_DongleHardwareVersion->setText(versionToString(info->hardwareVersion));
}

void Dialog_about::on_buttonBox_accepted()
{
    releaseQuery();
}

void Dialog_about::on_buttonBox_rejected()
{
    releaseQuery();
}

void Dialog_about::on_pushButton_dongle_Firmwareupdate_clicked()
{
    // The flashing tool needs the port: a query still asking the modem ends first (it is asked again after).
    releaseQuery();
    flash->setModal(true);
    flash->exec();
}

void Dialog_about::on_flashdongle_finished(int)
{
    startQuery();
}
