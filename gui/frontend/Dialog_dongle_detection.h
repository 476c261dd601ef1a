#ifndef GUI_FRONTEND_DIALOG_DONGLE_DETECTION_H
#define GUI_FRONTEND_DIALOG_DONGLE_DETECTION_H

#include "DongleInfo_t.h"

#include <QDialog>
#include <QPointer>
#include <QString>

class Logger;
class QDialogButtonBox;
class QLabel;
class QTimer;
class tolvern_info;
class xml_preferences;

// Looks for the modem on every serial port, one port at a time, and stores the port found in Prefs.xml.
class Dialog_dongle_detection : public QDialog
{
    Q_OBJECT
public:
    static constexpr int PortTimeoutMs = 5000;

    Dialog_dongle_detection(QWidget *parent, Logger *logger);
    ~Dialog_dongle_detection() override;

    QString port() const { return currentPort; }

public slots:
    void UpdateDongleInfo(DongleInfo_t *info);
    void DetectionTimeOut();
    void on_buttonBox_accepted();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    struct Form
    {
        QDialogButtonBox *buttonBox;
        QLabel *label_status;
        QLabel *label_waitlogo;
    };

    Logger *logger;
    Form *ui;
    xml_preferences *prefs;
    QPointer<tolvern_info> job;
    int portIndex = 0;
    QString currentPort;
    QTimer *timer = nullptr;
    bool found = false;

    void testPort();
    void stopTesting();
    void setOkEnabled(bool enabled);
};

#endif
