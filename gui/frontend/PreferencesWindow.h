#ifndef GUI_FRONTEND_PREFERENCESWINDOW_H
#define GUI_FRONTEND_PREFERENCESWINDOW_H

#include <QDialog>

class Logger;
class Ui_PreferencesWindow;
class xml_preferences;

// Port, mode and AES key of the modem link, chosen by the user and saved to Prefs.xml.
class PreferencesWindow : public QDialog
{
    Q_OBJECT
public:
    PreferencesWindow(QWidget *parent, Logger *logger);
    ~PreferencesWindow() override;

signals:
    // The dialog's own object after a save; it stays the dialog's.
    void UpateConf(xml_preferences *prefs);

public slots:
    void on_buttonBox_accepted();
    void on_comboBox_ComPortChoice_currentIndexChanged(const QString &text);
    void on_comboBox_WMBUSModeChoice_currentIndexChanged(const QString &text);
    void on_lineEdit_AESKeyInput_textEdited(const QString &text);

protected:
    void showEvent(QShowEvent *event) override;

private:
    Logger *logger;
    Ui_PreferencesWindow *ui;
    xml_preferences *prefs;
};

#endif
