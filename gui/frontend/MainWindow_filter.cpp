// The capture page's frame filter: script evaluation, Apply and Clear, and the history of the filter box.
#include "MainWindow.h"

#include "Logger.h"
#include "ui_MainWindow.h"
#include "xml_capture.h"
#include "xml_preferences.h"

#include <QApplication>
#include <QCompleter>
#include <QProgressDialog>

namespace
{
constexpr const char *completerWords[] = {
    "mbus",
    "mbus.radio",
    "mbus.header",
    "mbus.radio.rssi",
    "mbus.header.Id",
    "mbus.header.Manufacturer",
    "mbus.header.Medium",
    "mbus.header.AccessNumber",
    "mbus.header.Type",
};
} // namespace

void MainWindow::setupFilterBox()
{
    QStringList words;
    for (const char *word : completerWords)
        words << word;
    filterCompleter = new QCompleter(words, this);
    ui->comboBox_FilterInput->setCompleter(filterCompleter);
    ui->comboBox_FilterInput->addItems(prefs->gui.getFilters());
    ui->comboBox_FilterInput->insertItem(0, QString());
    ui->comboBox_FilterInput->setCurrentIndex(0);
}

bool MainWindow::FrameMatchesFilter(const CaptureFrame_t &frame) const
{
    const QString text = ui->comboBox_FilterInput->currentText();
    if (text.isEmpty())
        return true;
    const bool passes = frameFilter->matches(text, frame);
    if (frameFilter->wasStopped() && !filterStopLogged)
    {
        const QByteArray shown = text.toUtf8();
        GUI_LOG(logger, "MainWindow", "filter stopped after %d ms, every frame passes: %s", FrameFilter::TimeLimitMs,
                shown.constData());
    }
    filterStopLogged = frameFilter->wasStopped();
    return passes;
}

void MainWindow::on_comboBox_FilterInput_editTextChanged(const QString &)
{
    ui->pushButton_applyfilter->setDefault(true);
}

void MainWindow::on_pushButton_applyfilter_clicked()
{
    if (deferWhileListing(&MainWindow::on_pushButton_applyfilter_clicked))
        return;
    ui->plainTextEdit_XmlFrame->clear();
    ui->treeWidget_FrameList->clear();
    ui->treeWidget_ModuleList->clear();
    if (!captureStore || captureStore->getFrames().isEmpty())
        return;

    QComboBox *box = ui->comboBox_FilterInput;
    const QString text = box->currentText();
    box->insertItem(0, text);
    box->setCurrentIndex(0);
    if (box->count() > 1 && box->itemText(1).isEmpty())
        box->removeItem(1);
    if (box->count() > 1 && box->itemText(0) == box->itemText(1))
        box->removeItem(1);
    else
        prefs->gui.addFilter(text);
    if (box->count() > 10)
        box->removeItem(box->count() - 1);

    relist(true);
}

void MainWindow::on_pushButton_clearfilter_clicked()
{
    if (deferWhileListing(&MainWindow::on_pushButton_clearfilter_clicked))
        return;
    ui->comboBox_FilterInput->clearEditText();
    ui->plainTextEdit_XmlFrame->clear();
    ui->treeWidget_FrameList->clear();
    ui->treeWidget_ModuleList->clear();
    if (!captureStore)
        return;
    relist(false);
}

// Lists the stored frames again, all of them or those that pass the filter.
void MainWindow::relist(bool applyFilter)
{
    moduleStats.clear();
    const QList<CaptureFrame> frames = captureStore->getFrames();
    const int count = frames.size();
    QProgressDialog progress(applyFilter ? "Apply filter..." : "Clear filter...", QString(), 0, count, this);
    if (count > ProgressThreshold)
    {
        if (!applyFilter)
            GUI_LOG_AS(logger, "MainWindow", "on_pushButton_clearfilter_clicked", "count > 1000");
        progress.setWindowModality(Qt::WindowModal);
    }
    listFrames(frames, progress, applyFilter ? count / 50 : count / 20, applyFilter);
}
