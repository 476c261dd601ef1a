#ifndef GUI_FRONTEND_DIALOG_DONGLEOPERATION_H
#define GUI_FRONTEND_DIALOG_DONGLEOPERATION_H

#include <QDialog>
#include <QString>
#include <memory>

class Logger;
class QMovie;
class Ui_Dialog_DongleOperation;

// The modal companion of every operation in which Tolvern talks to one radio module over the air.
class Dialog_DongleOperation : public QDialog
{
    Q_OBJECT
public:
    Dialog_DongleOperation(QWidget *parent, Logger *logger);
    ~Dialog_DongleOperation() override;

    // The connected module's identification number as frame headers show it; empty before a module
    // connected or for an address too short to hold one.
    QString getModuleId() const;

    // Closed, the dialog still belongs to its operation until exec() has returned: the operation's end may
    // be running inside it. Another operation must not run the dialog before.
    int exec() override;
    bool isRunning() const { return runDepth > 0; }

signals:
    void OperationAccepted();
    void OperationCanceled();

public slots:
    void ModuleConnected(QString address);
    void EndOfConfigAccess(bool success);
    void on_pushButton_Ok_clicked();
    void on_pushButton_Cancel_clicked();

protected:
    void showEvent(QShowEvent *event) override;

private:
    Logger *logger;
    Ui_Dialog_DongleOperation *ui;
    QString moduleAddress;
    // Cancel was pressed in this showing: a result the stopped run still reports must not say otherwise.
    bool cancelled = false;
    std::unique_ptr<QMovie> movie; // made anew at each showing
    int runDepth = 0;
};

#endif
