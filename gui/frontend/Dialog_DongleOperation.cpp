#include "Dialog_DongleOperation.h"

#include "Logger.h"
#include "reverseAddressBytes.h"
#include "ui_Dialog_DongleOperation.h"

#include <QMovie>

Dialog_DongleOperation::Dialog_DongleOperation(QWidget *parent, Logger *logger)
    : QDialog(parent), logger(logger), ui(new Ui_Dialog_DongleOperation)
{
    ui->setupUi(this);
}

Dialog_DongleOperation::~Dialog_DongleOperation()
{
    delete ui;
}

QString Dialog_DongleOperation::getModuleId() const
{
    return reverseAddressBytes(moduleAddress);
}

int Dialog_DongleOperation::exec()
{
    ++runDepth;
    const int result = QDialog::exec();
    --runDepth;
    return result;
}

void Dialog_DongleOperation::ModuleConnected(QString address)
{
    moduleAddress = address;
    ui->label_moduleActivation->setText("Connected with: " + reverseAddressBytes(address));
}

void Dialog_DongleOperation::EndOfConfigAccess(bool success)
{
    if (cancelled)
        return;
    ui->label_Wait->clear();
    if (success)
    {
        ui->label_moduleActivation->setText("succes");
        ui->pushButton_Ok->setEnabled(true);
        ui->pushButton_Cancel->hide();
    }
    else
        ui->label_moduleActivation->setText("failed ");
}

void Dialog_DongleOperation::on_pushButton_Ok_clicked()
{
    emit OperationAccepted();
    close();
}

void Dialog_DongleOperation::on_pushButton_Cancel_clicked()
{
    cancelled = true;
    ui->label_Wait->clear();
    ui->label_moduleActivation->setText("Access cancelled");
    ui->pushButton_Ok->setEnabled(false);
    emit OperationCanceled();
    close();
}

void Dialog_DongleOperation::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    cancelled = false;
    ui->label_moduleActivation->setText("Please activate the module");
    ui->label_Wait->clear();
    movie = std::make_unique<QMovie>("./zelvir_anime_72.gif");
    ui->pushButton_Ok->setEnabled(false);
    if (movie->isValid())
    {
        movie->setScaledSize(QSize(75, 75));
        ui->label_Wait->setScaledContents(true);
        ui->label_Wait->setMovie(movie.get());
        movie->start();
        ui->pushButton_Cancel->show();
    }
    else
    {
        GUI_LOG(logger, "Dialog_DongleOperation", "gif not valide");
        // The picture's place says in words what the picture would show.
        ui->label_Wait->setText(" waiting");
        // Without the picture a success would otherwise leave the next operation with no way out.
        ui->pushButton_Cancel->show();
    }
}
