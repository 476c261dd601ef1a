#ifndef GUI_FRONTEND_DIALOG_ABOUT_H
#define GUI_FRONTEND_DIALOG_ABOUT_H

#include "DongleInfo_t.h"

#include <QDialog>
#include <QPointer>

class FlashDongle;
class Logger;
class Ui_Dialog_about;
class tolvern_info;
class xml_preferences;

// The versions of the GUI, of Tolvern and of the modem, asked for at every showing.
class Dialog_about : public QDialog
{
    Q_OBJECT
public:
    static constexpr const char *GuiVersion = "1.2";

    Dialog_about(QWidget *parent, Logger *logger);
    ~Dialog_about() override;

    // major.minor of a version word (major * 256 + minor).
    static QString versionToString(int version);
    FlashDongle *flashDialog() const { return flash; }

public slots:
    void UpdateAboutInfo(DongleInfo_t *info);
    void on_buttonBox_accepted();
    void on_buttonBox_rejected();
    void on_pushButton_dongle_Firmwareupdate_clicked();

public:
    // Connected to the flashing dialog's finished(int) in code; not bound by name.
    void on_flashdongle_finished(int result);

protected:
    void showEvent(QShowEvent *event) override;

private:
    Logger *logger;
    Ui_Dialog_about *ui;
    QPointer<tolvern_info> query;
    xml_preferences *prefs;
    FlashDongle *flash;

    void startQuery();
    void releaseQuery();
};

#endif
