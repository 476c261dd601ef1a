// The capture page's frame filter: script evaluation, Apply and Clear, and the history of the filter box.
#include "MainWindow.h"

#include "Logger.h"
#include "ui_MainWindow.h"
#include "xml_capture.h"
#include "xml_preferences.h"

#include <QApplication>
#include <QCompleter>
#include <QProgressDialog>
#include <QScriptEngine>
#include <QScriptValue>

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
    if (ui->comboBox_FilterInput->currentText().isEmpty())
        return true;
    QScriptEngine engine;
    QScriptValue global = engine.globalObject();
    global.setProperty("mbus_header_Id", frame.Id);
    global.setProperty("mbus_header_Manufacturer", frame.Manufacturer);
    global.setProperty("mbus_header_Type", frame.Type);
    global.setProperty("mbus_header_AccessNumber", frame.AccessNumber);
    global.setProperty("mbus_header_Medium", frame.Medium);
    global.setProperty("mbus_radio_rssi", frame.rssi);
    global.setProperty("mbus_error", frame.error);
    QString program = ui->comboBox_FilterInput->currentText();
    program.replace('.', '_');
    // A text that does not parse or names something unknown throws; the thrown Error object counts as
    // true, so such a filter lets every frame through rather than hiding the capture.
    return engine.evaluate(program, QString(), 1).toBool();
}

void MainWindow::on_comboBox_FilterInput_editTextChanged(const QString &)
{
    ui->pushButton_applyfilter->setDefault(true);
}

void MainWindow::on_pushButton_applyfilter_clicked()
{
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
    const bool large = count > ProgressThreshold;
    if (large)
    {
        if (!applyFilter)
            GUI_LOG(logger, "MainWindow", "count > 1000");
        progress.setWindowModality(Qt::WindowModal);
    }
    const int step = applyFilter ? count / 50 : count / 20;
    qint64 previousTime = 0;
    bool first = true;
    QList<QTreeWidgetItem *> rows;
    for (int i = 0; i < count; ++i)
    {
        if (large && step > 0 && i % step == 0)
        {
            progress.setValue(i);
            QApplication::processEvents();
        }
        const CaptureFrame_t frame = frames.at(i).getData();
        if (applyFilter && !FrameMatchesFilter(frame))
            continue;
        if (first)
        {
            captureStartTime = frame.time;
            previousTime = frame.time;
            first = false;
        }
        InsertFrame(frame, previousTime, rows);
        previousTime = frame.time;
    }
    ui->treeWidget_FrameList->insertTopLevelItems(0, rows);
}
