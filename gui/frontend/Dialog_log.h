#ifndef GUI_FRONTEND_DIALOG_LOG_H
#define GUI_FRONTEND_DIALOG_LOG_H

#include <QDialog>

class QDialogButtonBox;
class QPlainTextEdit;
class QVBoxLayout;

// Shows the GUI's own log file as it stands when the dialog is shown.
class Dialog_log : public QDialog
{
    Q_OBJECT
public:
    explicit Dialog_log(QWidget *parent = nullptr);
    ~Dialog_log() override;

    static QString logFile();

public slots:
    void on_buttonBox_accepted() {}
    void on_buttonBox_rejected() {}

protected:
    void showEvent(QShowEvent *event) override;

private:
    // The widgets are children of the dialog, which deletes them.
    struct Form
    {
        QVBoxLayout *verticalLayout;
        QPlainTextEdit *plainTextEdit_log;
        QDialogButtonBox *buttonBox;
    } form;
};

#endif
