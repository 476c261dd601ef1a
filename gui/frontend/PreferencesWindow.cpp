#include "PreferencesWindow.h"

#include "Logger.h"
#include "ui_PreferencesWindow.h"
#include "xml_preferences.h"

#include <QDebug>

PreferencesWindow::PreferencesWindow(QWidget *parent, Logger *logger)
    : QDialog(parent), logger(logger), ui(new Ui_PreferencesWindow), prefs(nullptr)
{
    ui->setupUi(this);
    prefs = new xml_preferences;
    ui->comboBox_ComPortChoice->addItems(prefs->wmbus.getPortList());
    ui->comboBox_WMBUSModeChoice->addItems(PrefsWMBus::getModeList());
}

PreferencesWindow::~PreferencesWindow()
{
    delete prefs;
    delete ui;
}

void PreferencesWindow::on_buttonBox_accepted()
{
    GUI_LOG(logger, "PreferencesWindow", "New Conf accepted");
    prefs->save();
    emit UpateConf(prefs);
}

void PreferencesWindow::on_comboBox_ComPortChoice_currentIndexChanged(const QString &text)
{
    // The combo box is filled in the constructor, before the object exists.
    if (prefs)
        prefs->wmbus.setPort(text, text != PrefsWMBus::NoPort);
}

void PreferencesWindow::on_comboBox_WMBUSModeChoice_currentIndexChanged(const QString &text)
{
    if (prefs)
        prefs->wmbus.setMode(text);
}

void PreferencesWindow::on_lineEdit_AESKeyInput_textEdited(const QString &text)
{
    prefs->wmbus.setAes(text);
}

void PreferencesWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    prefs->read();
    GUI_LOG(logger, "PreferencesWindow", "Show time...");
    // Read before selecting: selecting runs the list slots, which would overwrite the other value.
    const QString port = prefs->wmbus.getPort();
    const QString mode = prefs->wmbus.getMode();
    const int portIndex = ui->comboBox_ComPortChoice->findText(port, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (portIndex >= 0)
        ui->comboBox_ComPortChoice->setCurrentIndex(portIndex);
    else
        qDebug() << "port:" << port << " not found";
    const int modeIndex = ui->comboBox_WMBUSModeChoice->findText(mode, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (modeIndex >= 0)
        ui->comboBox_WMBUSModeChoice->setCurrentIndex(modeIndex);
    else
        qDebug() << "Mode:" << mode << " not found";
    ui->lineEdit_AESKeyInput->setText(prefs->wmbus.getAes());
}
