// The capture page: the capture run, the frame list and the module list, and capture files.
#include "MainWindow.h"

#include "Logger.h"
#include "UserMessage.h"
#include "tolvern_capture.h"
#include "tolvern_process.h"
#include "ui_MainWindow.h"
#include "xml_capture.h"
#include "xml_preferences.h"

#include "FileChooser.h"
#include "FrameRow.h"
#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <QSaveFile>
#include <QTextStream>
#include <QTimer>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace
{
struct ListColumn
{
    const char *header;
    int width;
};

constexpr ListColumn frameColumns[MainWindow::FrameColumns] = {
    {"No.", 80},       {"Time", 80}, {"Delta", 80},   {"Time stamp", 150}, {"RSSI", 50},
    {"Manuf", 60},     {"ID", 100},  {"Medium", 100}, {"Acc. Num", 80},    {"Status", 80},
    {"Signature", 80}, {"Type", 80}, {"Frame", 450},  {"Error", 100},
};

constexpr ListColumn moduleColumns[MainWindow::ModuleColumns] = {
    {"Id", 150},      {"Frame count", 110}, {"SND-NR count", 110}, {"RSSI Avg", 100}, {"RSSI Min", 80},
    {"RSSI Max", 80}, {"Delta Avg", 100},   {"Delta Min", 80},     {"Delta Max", 80},
};

// The columns of a capture list: the header texts of the first `centred` centred, the first `sized` given
// their widths, and no stretching of the last one.
template <size_t N> void setListColumns(QTreeWidget *tree, const ListColumn (&columns)[N], int centred, int sized)
{
    tree->setColumnCount(static_cast<int>(N));
    QStringList headers;
    for (const ListColumn &column : columns)
        headers << column.header;
    tree->setHeaderLabels(headers);
    for (int i = 0; i < centred; ++i)
        tree->headerItem()->setTextAlignment(i, Qt::AlignHCenter);
    for (int i = 0; i < sized; ++i)
        tree->header()->resizeSection(i, columns[i].width);
    tree->header()->setStretchLastSection(false);
}

} // namespace

QString MainWindow::captureDuration(int seconds, int frameCount)
{
    QString text = "Time count: ";
    if (seconds <= 59)
        text += QString::number(seconds) + "s ";
    else
        text += QString::number(seconds / 60) + "m " + QString::number(seconds % 60) + "s ";
    if (frameCount == 0)
        text += " ";
    else
        text += " frame count: " + QString::number(frameCount) + " ";
    return text;
}

void MainWindow::setupFrameList()
{
    QTreeWidget *tree = ui->treeWidget_FrameList;
    // "Frame" and "Error" keep the default header alignment; "Error" is sized after the stretching is off.
    setListColumns(tree, frameColumns, 12, 13);
    tree->header()->resizeSection(13, frameColumns[13].width);
    connect(tree->header(), &QHeaderView::sectionClicked, this, &MainWindow::sectionClickedFrames);
    // The header's own sorting starts a column descending, as the first click of sectionClickedFrames does.
    for (int i = 0; i < FrameColumns; ++i)
        tree->headerItem()->setData(i, Qt::InitialSortOrderRole, Qt::DescendingOrder);
    framesSortDescending = 0;
    tree->sortItems(0, Qt::AscendingOrder);
}

void MainWindow::setupModuleList()
{
    QTreeWidget *tree = ui->treeWidget_ModuleList;
    setListColumns(tree, moduleColumns, ModuleColumns, ModuleColumns);

    tree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tree, &QWidget::customContextMenuRequested, this, &MainWindow::showContextMenuModules);
    // The rows found by manufacturer and Id are forgotten whenever rows leave the list.
    auto forgetRows = [this]
    {
        manufacturerRows.clear();
        moduleRows.clear();
    };
    connect(tree->model(), &QAbstractItemModel::modelAboutToBeReset, &moduleRowsKeeper, forgetRows);
    connect(tree->model(), &QAbstractItemModel::rowsAboutToBeRemoved, &moduleRowsKeeper, forgetRows);
    modulesHiddenColumns = prefs->gui.getModulesHiddenColumns();
    hideStoredColumns(tree, modulesHiddenColumns);
}

void MainWindow::InsertFrame(const CaptureFrame_t &frame, qint64 previousTime)
{
    QTreeWidgetItem *row = makeFrameRow(frame, previousTime);
    ui->treeWidget_FrameList->addTopLevelItem(row);
    ui->treeWidget_FrameList->setCurrentItem(row);
    updateModuleList(frame);
}

void MainWindow::InsertFrame(const CaptureFrame_t &frame, qint64 previousTime, QList<QTreeWidgetItem *> &rows)
{
    QTreeWidgetItem *row = makeFrameRow(frame, previousTime);
    rows << row;
    // The row is not in the list yet, so this leaves the list without a current row.
    if (ui->treeWidget_FrameList->currentItem())
        ui->treeWidget_FrameList->setCurrentItem(row);
    updateModuleList(frame);
}

QTreeWidgetItem *MainWindow::makeFrameRow(const CaptureFrame_t &frame, qint64 previousTime) const
{
    return new FrameRow(frame, static_cast<float>((frame.time - captureStartTime) / 1000.0),
                        static_cast<float>((frame.time - previousTime) / 1000.0));
}

void MainWindow::updateModuleList(const CaptureFrame_t &frame)
{
    QTreeWidget *modules = ui->treeWidget_ModuleList;
    moduleStats.update(frame);
    QTreeWidgetItem *manufacturer = manufacturerRows.value(frame.Manufacturer);
    if (!manufacturer)
    {
        const QByteArray text = frame.Manufacturer.toUtf8();
        GUI_LOG_AS(logger, "MainWindow", "InsertFrame", "New Manuf: %s", text.constData());
        manufacturer = new QTreeWidgetItem(modules);
        manufacturer->setText(0, frame.Manufacturer);
        manufacturer->setText(1, "  ");
        manufacturer->setExpanded(true);
        manufacturerRows.insert(frame.Manufacturer, manufacturer);
    }

    if (QTreeWidgetItem *module = moduleRows.value({frame.Manufacturer, frame.Id}))
    {
        const ModuleStatistics entry = moduleStats.find(frame.Id);
        module->setData(1, Qt::DisplayRole, entry.frameCount);
        module->setData(2, Qt::DisplayRole, entry.sndNrCount);
        module->setData(3, Qt::DisplayRole, entry.rssiAverage);
        module->setData(4, Qt::DisplayRole, entry.rssiMin);
        module->setData(5, Qt::DisplayRole, entry.rssiMax);
        module->setData(6, Qt::DisplayRole, entry.deltaAverage);
        module->setData(7, Qt::DisplayRole, entry.deltaMin);
        module->setData(8, Qt::DisplayRole, entry.deltaMax);
        return;
    }
    const QByteArray text = frame.Id.toUtf8();
    GUI_LOG_AS(logger, "MainWindow", "InsertFrame", "New Id: %s", text.constData());
    auto *module = new QTreeWidgetItem;
    module->setText(0, frame.Id);
    module->setTextAlignment(0, Qt::AlignRight);
    module->setText(1, "1");
    for (int i = 1; i < ModuleColumns; ++i)
        module->setTextAlignment(i, Qt::AlignHCenter);
    manufacturer->addChild(module);
    moduleRows.insert({frame.Manufacturer, frame.Id}, module);
}

void MainWindow::on_treeWidget_FrameList_currentItemChanged(QTreeWidgetItem *current, QTreeWidgetItem *)
{
    ui->plainTextEdit_XmlFrame->clear();
    if (!current || !captureStore)
        return;
    bool ok = false;
    const int number = current->text(0).toInt(&ok);
    // A row of an earlier store may name a frame this store does not have.
    if (!ok || number < 1 || number > captureStore->count())
        return;
    ui->plainTextEdit_XmlFrame->insertPlainText(captureStore->frame(number).document());
}

void MainWindow::on_treeWidget_FrameList_itemClicked(QTreeWidgetItem *, int column)
{
    GUI_LOG(logger, "MainWindow", "Col: %d", column);
}

void MainWindow::sectionClickedFrames(int index)
{
    const Qt::SortOrder order = framesSortDescending == 0 ? Qt::DescendingOrder : Qt::AscendingOrder;
    framesSortDescending = framesSortDescending == 0 ? 1 : 0;
    QTreeWidget *tree = ui->treeWidget_FrameList;
    // A click on the header has just sorted the list itself; when it sorted the same way, sorting a large
    // list a second time would only keep the window frozen longer.
    QHeaderView *header = tree->header();
    if (sender() == header && header->sortIndicatorSection() == index && header->sortIndicatorOrder() == order)
        return;
    tree->sortItems(index, order);
}

void MainWindow::releaseCaptureJob()
{
    if (!captureJob)
        return;
    // The job's runner has been killed or has ended; destroying the job waits for its thread, after
    // which nothing writes into the store any more.
    if (captureJob->process())
        captureJob->process()->Kill();
    delete captureJob.data();
}

void MainWindow::on_pushButton_SniffStart_clicked()
{
    if (busy)
    {
        refuseBusy();
        return;
    }
    busy = true;
    on_actionNew_capture_triggered();
    moduleStats.clear();
    ui->pushButton_SniffStop->setEnabled(true);
    ui->pushButton_SniffStart->setEnabled(false);

    releaseCaptureJob();
    captureStore = std::make_unique<xml_capture>(logger);
    captureStartTime = QDateTime::currentMSecsSinceEpoch();
    lastListedTime = captureStartTime;
    lastListedNumber = -1;
    lastTestedNumber = 0;

    captureJob =
        new tolvern_capture(prefs->wmbus.data(), captureStore.get(), this, logger, prefs->gui.getAutoKill(), false);
    connect(captureJob.data(), &tolvern_capture::ReceiveNewFrame, this, &MainWindow::on_ReceiveNewFrame);
    tolvern_process *runner = captureJob->process();
    connect(runner, &tolvern_process::SendProcessEnd, this, &MainWindow::CaptureExecutionError);
    // Why a run never started (no Tolvern, or it crashed) goes to the log; the exit code box follows.
    connect(runner, &tolvern_process::SendProcessFailure, this,
            [this](QString reason)
            {
                const QByteArray text = reason.toUtf8();
                GUI_LOG(logger, "MainWindow", "%s", text.constData());
            });
    captureRunning = true;
    captureHoldsBusy = true;
    runner->start(QThread::InheritPriority);

    captureTimer = new QTimer;
    connect(captureTimer, &QTimer::timeout, this, &MainWindow::CaptureTimer);
    captureSeconds = 0;
    captureTimer->start(1000);
}

void MainWindow::on_pushButton_SniffStop_clicked()
{
    // After an error exit the flag may belong to another operation by now; only our own is cleared.
    if (captureHoldsBusy)
        busy = false;
    captureHoldsBusy = false;
    captureRunning = false;
    ui->pushButton_SniffStop->setEnabled(false);
    ui->pushButton_SniffStart->setEnabled(true);
    if (captureJob && captureJob->process())
        captureJob->process()->Kill();
    if (captureTimer)
    {
        captureTimer->stop();
        delete captureTimer;
        captureTimer = nullptr;
        // The last tick may be most of a second old: the label ends with every frame the run stored.
        showCaptureStatus();
    }
}

void MainWindow::CaptureTimer()
{
    ++captureSeconds;
    showCaptureStatus();
}

void MainWindow::showCaptureStatus()
{
    const int count = captureStore ? captureStore->count() : 0;
    ui->label_statusCapture->setText(captureDuration(captureSeconds, count));
}

void MainWindow::on_ReceiveNewFrame()
{
    // Frames that arrive while the lists are refilled, or from the events an evaluation lets through, are
    // taken up when that ends.
    if (relisting || frameFilter->isEvaluating())
        return;
    // Each frame is tested once, as it arrives: one the filter keeps out stays out.
    while (captureStore && lastTestedNumber < captureStore->count())
    {
        const CaptureFrame stored = captureStore->frame(++lastTestedNumber);
        const CaptureFrame_t &frame = stored.fields();
        if (!FrameMatchesFilter(frame))
            continue;
        InsertFrame(frame, lastListedTime);
        lastListedTime = frame.time;
        lastListedNumber = frame.number;
    }
}

void MainWindow::CaptureExecutionError(int iErrorCode)
{
    // The information read shares this slot: whichever operation ran gives the flag back.
    busy = false;
    if (sender() && captureJob && sender() == captureJob->process())
        captureHoldsBusy = false;
    else
        basicsHoldsBusy = false;
    reportExitCode(iErrorCode);
}

void MainWindow::StdErroPrint(QString text)
{
    busy = false;
    const QByteArray line = text.toUtf8();
    GUI_LOG(logger, "MainWindow", "StdError: %s", line.constData());
}

void MainWindow::on_actionNew_capture_triggered()
{
    ++listingGeneration;
    ui->plainTextEdit_XmlFrame->clear();
    ui->treeWidget_FrameList->clear();
    ui->treeWidget_ModuleList->clear();
    ui->label_statusCapture->clear();
}

void MainWindow::on_actionSave_Capture_triggered()
{
    if (!captureStore || captureStore->getFrames().isEmpty())
    {
        UserMessage::critical("Error ", "Capture data is empty ");
        return;
    }
    const QString name = FileChooser::saveFile(
        this, "Save capture file", FileChooser::startDirectory(prefs->gui.getCaptureFile()), "XML Files (*.xml)");
    if (name.isEmpty())
    {
        GUI_LOG(logger, "MainWindow", "invalid filename");
        return;
    }
    // Written beside the old file and swapped in whole: a failed write never leaves half a capture.
    QSaveFile file(name);
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text);
    if (written)
    {
        QTextStream stream(&file);
        stream << "<recorded_frames>";
        for (const CaptureFrame &frame : captureStore->getFrames())
            stream << frame.document();
        stream << "</recorded_frames>";
        stream.flush();
        written = stream.status() == QTextStream::Ok && file.commit();
    }
    if (!written)
    {
        const QByteArray text = name.toUtf8();
        GUI_LOG(logger, "MainWindow", "capture not written: %s", text.constData());
        UserMessage::critical("Error", "Unable to write the capture file: " + name);
        return;
    }
    prefs->gui.setCaptureFile(name);
}

void MainWindow::on_actionOpen_Trace_triggered()
{
    if (deferWhileListing(&MainWindow::on_actionOpen_Trace_triggered))
        return;
    const QString name = FileChooser::openFile(
        this, "Open capture File", FileChooser::startDirectory(prefs->gui.getCaptureFile()), "XML Files (*.xml)");
    if (name.isEmpty() || !QFile::exists(name))
    {
        GUI_LOG(logger, "MainWindow", "File not found");
        return;
    }
    // The running job writes into the current store: it cannot be swapped under it.
    if (captureRunning)
    {
        refuseBusy();
        return;
    }
    // Reading a large file lets the window paint between pieces; nothing else may start meanwhile.
    relisting = true;
    auto loaded = std::make_unique<xml_capture>(name, nullptr, [] { QApplication::processEvents(); });
    relisting = false;
    const QList<CaptureFrame> frames = loaded->getFrames();
    if (frames.isEmpty())
    {
        // The frames on show stay in their store, so they can still be saved.
        UserMessage::critical("Error", "Invalide file format ");
        return;
    }
    releaseCaptureJob();
    on_actionNew_capture_triggered();
    captureStore = std::move(loaded);
    moduleStats.clear();
#ifdef __GLIBC__
    // The previous capture's records were freed in the middle of the heap; give their pages back.
    malloc_trim(0);
#endif

    QProgressDialog progress("Reading capture...", QString(), 0, frames.size(), this);
    if (frames.size() > ProgressThreshold)
        progress.setWindowModality(Qt::WindowModal);
    if (!listFrames(frames, progress, OpenProgressStep, false))
        return;
    ui->label_statusCapture->setText("Capture file: " + QFileInfo(name).fileName());
    prefs->gui.setCaptureFile(name);
    progress.close();
}

bool MainWindow::deferWhileListing(void (MainWindow::*slot)())
{
    if (!relisting && !frameFilter->isEvaluating())
        return false;
    // The listing under way gives way: it is abandoned at its next step.
    ++listingGeneration;
    frameFilter->abort();
    QMetaObject::invokeMethod(this, slot, Qt::QueuedConnection);
    return true;
}

bool MainWindow::listFrames(const QList<CaptureFrame> &frames, QProgressDialog &progress, int step, bool applyFilter)
{
    const int generation = ++listingGeneration;
    relisting = true;
    frameFilter->restart();
    const int count = frames.size();
    const bool large = count > ProgressThreshold;
    QTreeWidget *list = ui->treeWidget_FrameList;
    QTreeWidget *modules = ui->treeWidget_ModuleList;
    list->setUpdatesEnabled(false);
    modules->setUpdatesEnabled(false);
    qint64 previousTime = 0;
    bool first = true;
    QList<QTreeWidgetItem *> rows;
    rows.reserve(count);
    bool abandoned = false;
    for (int i = 0; i < count && !abandoned; ++i)
    {
        if (large && step > 0 && i % step == 0)
        {
            progress.setValue(i);
            QApplication::processEvents();
        }
        const CaptureFrame_t &frame = frames.at(i).fields();
        const bool passes = !applyFilter || FrameMatchesFilter(frame);
        // The events processed meanwhile may have emptied the lists or started another listing.
        abandoned = generation != listingGeneration;
        if (!passes || abandoned)
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
    if (abandoned)
        qDeleteAll(rows);
    else
        list->insertTopLevelItems(0, rows);
    list->setUpdatesEnabled(true);
    modules->setUpdatesEnabled(true);
    relisting = false;
    if (abandoned)
        return false;
    // The frames stored so far have been tested; those stored during the listing follow, also when the run
    // was stopped meanwhile.
    if (count > 0 && frames.last().fields().number > lastTestedNumber)
        lastTestedNumber = frames.last().fields().number;
    if (!first)
        lastListedTime = previousTime;
    on_ReceiveNewFrame();
    return true;
}
