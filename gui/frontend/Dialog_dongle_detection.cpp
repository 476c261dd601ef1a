#include "Dialog_dongle_detection.h"

#include "Logger.h"
#include "WMBusSettings_t.h"
#include "tolvern_info.h"
#include "xml_preferences.h"

#include <QDebug>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

Dialog_dongle_detection::Dialog_dongle_detection(QWidget *parent, Logger *logger)
    : QDialog(parent), logger(logger), ui(new Form), prefs(nullptr)
{
    if (objectName().isEmpty())
        setObjectName("Dialog_dongle_detection");
    resize(367, 193);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setWindowTitle(tr("Dialog"));
    ui->buttonBox = new QDialogButtonBox(this);
    ui->buttonBox->setObjectName("buttonBox");
    ui->buttonBox->setGeometry(10, 140, 341, 32);
    ui->buttonBox->setOrientation(Qt::Horizontal);
    ui->buttonBox->setStandardButtons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    ui->label_status = new QLabel(this);
    ui->label_status->setObjectName("label_status");
    ui->label_status->setGeometry(20, 10, 331, 20);
    ui->label_status->setAlignment(Qt::AlignCenter);
    ui->label_status->setText(tr("look for com port"));
    ui->label_waitlogo = new QLabel(this);
    ui->label_waitlogo->setObjectName("label_waitlogo");
    ui->label_waitlogo->setGeometry(150, 40, 75, 75);
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    QMetaObject::connectSlotsByName(this);
    prefs = new xml_preferences;
}

Dialog_dongle_detection::~Dialog_dongle_detection()
{
    stopTesting();
    delete prefs;
    delete ui;
}

void Dialog_dongle_detection::setOkEnabled(bool enabled)
{
    if (QPushButton *ok = ui->buttonBox->button(QDialogButtonBox::Ok))
        ok->setEnabled(enabled);
}

void Dialog_dongle_detection::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    setOkEnabled(false);
    found = false;
    portIndex = 0;
    const QStringList ports = prefs->wmbus.getPortList();
    currentPort = ports.isEmpty() ? QString(PrefsWMBus::NoPort) : ports.first();
    ui->label_status->setText("Test port:" + currentPort);
    testPort();
}

// A closed dialog must not go on trying ports in the background.
void Dialog_dongle_detection::hideEvent(QHideEvent *event)
{
    stopTesting();
    QDialog::hideEvent(event);
}

void Dialog_dongle_detection::stopTesting()
{
    if (timer)
    {
        timer->stop();
        timer->deleteLater();
        timer = nullptr;
    }
    delete job.data();
}

void Dialog_dongle_detection::testPort()
{
    prefs->read();
    WMBusSettings_t settings;
    settings.port = currentPort;
    settings.mode = "T";
    settings.aes = QString();
    settings.templateDir = ".";
    job = new tolvern_info(&settings, this, logger, true);
    connect(job.data(), &tolvern_info::GetInfoDone, this, &Dialog_dongle_detection::UpdateDongleInfo);
    if (timer)
        timer->deleteLater();
    timer = new QTimer(this);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, &Dialog_dongle_detection::DetectionTimeOut);
    timer->start(PortTimeoutMs);
}

void Dialog_dongle_detection::UpdateDongleInfo(DongleInfo_t *info)
{
    if (!info)
        return;
    if (timer)
        timer->stop();
    qDebug() << "GetInfoDone() sent!!";
    found = true;
    setOkEnabled(true);
    ui->label_status->setText("found dongle on port: " + currentPort);
    ui->label_waitlogo->clear();
}

void Dialog_dongle_detection::DetectionTimeOut()
{
    delete job.data();
    ++portIndex;
    const QStringList ports = prefs->wmbus.getPortList();
    if (portIndex >= ports.size())
    {
        ui->label_status->setText("Dongle not found!!");
        setOkEnabled(true);
        ui->label_waitlogo->clear();
        prefs->wmbus.setPort(PrefsWMBus::NoPort, false);
        prefs->save();
        return;
    }
    setOkEnabled(false);
    currentPort = ports.at(portIndex);
    ui->label_status->setText("Test port:" + currentPort);
    testPort();
}

void Dialog_dongle_detection::on_buttonBox_accepted()
{
    if (!found)
        return;
    const QByteArray port = currentPort.toUtf8();
    GUI_LOG(logger, "Dialog_dongle_detection", "choice: %s", port.constData());
    prefs->wmbus.setPort(currentPort, true);
    prefs->save();
}
