#include "MainWindow.h"

#include "Dialog_DongleOperation.h"
#include "Dialog_about.h"
#include "Dialog_log.h"
#include "FlashDongle.h"
#include "Logger.h"
#include "PreferencesWindow.h"
#include "TemplateDirectory.h"
#include "TemplateList.h"
#include "UserMessage.h"
#include "tolvern_capture.h"
#include "tolvern_process.h"
#include "ui_MainWindow.h"
#include "xml_capture.h"
#include "xml_preferences.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressDialog>
#include <QStyle>
#include <QThread>
#include <QTimer>

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui_MainWindow), detectionDialog(nullptr, nullptr)
{
    ui->setupUi(this);
    logger = new Logger;
    logDialog = std::make_unique<Dialog_log>();
    GUI_LOG(logger, "MainWindow", "Startup");
    prefsWindow = new PreferencesWindow(this, logger);
    operationDialog = new Dialog_DongleOperation(this, logger);
    aboutDialog = new Dialog_about(this, logger);
    prefs = new xml_preferences;

    UartPortCheck();

    if (prefs->gui.getW() != 0 && prefs->gui.getH() != 0)
        setGeometry(prefs->gui.getX(), prefs->gui.getY(), prefs->gui.getW(), prefs->gui.getH());
    const int lastTab = prefs->gui.getLastTab();
    ui->tabWidget->setCurrentIndex(lastTab);
    on_tabWidget_currentChanged(lastTab);

    connect(prefsWindow, &PreferencesWindow::UpateConf, this, &MainWindow::on_UpateConf);
    // The modem flashing tool works on the modem's port: no operation may start meanwhile.
    connect(aboutDialog->flashDialog(), &FlashDongle::ToolRunning, this,
            [this, holds = false](bool running) mutable
            {
                if (running && !busy)
                    busy = holds = true;
                else if (!running && holds)
                    busy = holds = false;
            });

    statusLabel = new QLabel;
    // Without the size grip the status bar puts the label's last letter against the window's edge.
    statusLabel->setContentsMargins(0, 0, style()->pixelMetric(QStyle::PM_LayoutRightMargin), 0);
    setStatusLabel();
    ui->statusBar->addPermanentWidget(statusLabel, 0);

    ui->tabWidget_ModuleConf->setTabText(0, "Informations");
    templates = std::make_unique<TemplateList>(templateDirectory(prefs->wmbus.getTemplate()));
    reportTemplateProblems();
    ui->tabWidget_ModuleConf->setTabText(1, "Parameters ");
    if (templates->isOk())
        setupParameterPage();
    else
        UserMessage::critical("Error", "Template not found in: " + prefs->wmbus.getTemplate());

    setupFilterBox();
    setupFrameList();
    setupContextMenus();
    setupModuleList();
    setupRadioTestPage();
    ui->tabWidget->installEventFilter(this);
    setupFirmwarePage();
    ui->tabWidget_ModuleConf->setTabText(2, "Firmware Update");
}

MainWindow::~MainWindow()
{
    // Jobs and dialogs log while they go, and a capture still listening must not outlive its store: they
    // go before the logger and the stores, not later with the window's children.
    ui->tabWidget->removeEventFilter(this);
    releaseCaptureJob();
    releaseBasicsJob();
    releaseUpdateJob();
    // Ended jobs waiting for their deferred deletion go now too.
    qDeleteAll(findChildren<tolvern_config *>(QString(), Qt::FindDirectChildrenOnly));
    qDeleteAll(findChildren<tolvern_capture *>(QString(), Qt::FindDirectChildrenOnly));
    qDeleteAll(findChildren<tolvern_update *>(QString(), Qt::FindDirectChildrenOnly));
    delete installationJob.data();
    delete answerParser.data();
    // The run timers have no parent: a run still open when the window goes leaves them to us.
    delete captureTimer;
    delete basicsTimer;
    delete aboutDialog;
    delete operationDialog;
    delete prefsWindow;
    delete ui;
    delete prefs;
    delete logger;
}

void MainWindow::setStatusLabel()
{
    statusLabel->setText("Dongle @ port: " + prefs->wmbus.getPort() + "   WM-Bus mode:" + prefs->wmbus.getMode());
}

void MainWindow::refuseBusy()
{
    UserMessage::critical("Error ", "Dongle already in use ");
}

bool MainWindow::operationDialogBusy() const
{
    return busy || operationDialog->isRunning();
}

void MainWindow::reportExitCode(int code, const QString &requestFile)
{
    QString text = " Error while executing tolvern command:\n error code = " + QString::number(code);
    // Called from the slots of the run's exit code: the run says why it failed, not only log.txt.
    auto *run = qobject_cast<tolvern_process *>(sender());
    QString reason = run ? run->lastErrorLine() : QString();
    // The request file is the page's own, with a name the user never chose.
    if (!requestFile.isEmpty())
        reason.replace(requestFile, "the request");
    if (!reason.isEmpty())
        text += "\n " + reason;
    UserMessage::critical("Error ", text);
}

bool MainWindow::UartPortCheck()
{
    busy = false;
    const QStringList ports = prefs->wmbus.getPortList();
    const QString saved = prefs->wmbus.getPort();
    // A device given by its path (the modem emulator's, say) is not among the ports the system
    // lists: it stays chosen as long as it exists.
    if (saved.contains('/') && QFileInfo::exists(saved))
    {
        const QByteArray text = saved.toUtf8();
        GUI_LOG(logger, "MainWindow", "Comport ok: %s", text.constData());
        return true;
    }
    bool storeNone = false;
    if (ports.size() == 1 && ports.first() == PrefsWMBus::NoPort)
        storeNone = true;
    else
    {
        for (const QString &port : ports)
        {
            if (port == saved && port != PrefsWMBus::NoPort)
            {
                const QByteArray text = port.toUtf8();
                GUI_LOG(logger, "MainWindow", "Comport ok: %s", text.constData());
                return true;
            }
        }
        if (UserMessage::question("Port com not found",
                                  "Port com: " + saved + " not found, do you want to try the autodetection ? "))
        {
            detectionDialog.setWindowTitle("Dongle detection");
            detectionDialog.setModal(true);
            detectionDialog.exec();
            prefs->read();
        }
        else
            storeNone = true;
    }
    if (storeNone)
    {
        prefs->wmbus.setPort(PrefsWMBus::NoPort, false);
        prefs->save();
        prefs->read();
    }
    const QByteArray now = prefs->wmbus.getPort().toUtf8();
    GUI_LOG(logger, "MainWindow", "New com Port: %s", now.constData());
    return false;
}

void MainWindow::on_tabWidget_currentChanged(int index)
{
    struct PageKey
    {
        int index;
        const char *key;
        QWidget *focus;
    };
    const PageKey keys[] = {
        {PageModuleConfig, "config", ui->pushButton_ReadParam},
        {PageCapture, "capture", ui->pushButton_SniffStart},
        {PageRadioTest, "installation", ui->lineEdit_LocationName},
    };
    QString key;
    for (const PageKey &page : keys)
    {
        if (page.index == index)
        {
            key = page.key;
            page.focus->setFocus(Qt::OtherFocusReason);
        }
    }
    for (QAction *action : ui->menuFile->actions())
    {
        action->setVisible(action->toolTip().contains(key));
        const QString text = action->text();
        if (text.contains("Exit"))
            action->setVisible(true);
        if (text.contains("Open") && action->isVisible())
            action->setShortcut(QKeySequence("Ctrl+O"));
        if (text == "Save")
            action->setShortcut(QKeySequence("Ctrl+S"));
        if (text == "New")
            action->setShortcut(QKeySequence("Ctrl+N"));
    }
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    fitInstallationColumns();
}

void MainWindow::fitInstallationColumns()
{
    const int w = ui->tabWidget->width();
    const int c = w < 500 ? 99 : w / 5 - 1;
    for (int column = 0; column < 4; ++column)
        ui->tableWidget_installation->setColumnWidth(column, c);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The tab widget takes its new width from the layout after the window's own resize handling, and at
    // the first showing only then: the columns follow that width too.
    if (watched == ui->tabWidget && event->type() == QEvent::Resize)
        fitInstallationColumns();
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::childEvent(QChildEvent *event)
{
    QMainWindow::childEvent(event);
    // A progress dialog is only as wide as its label, too narrow for its title (the application's name) and
    // the title bar's buttons: the window manager would cut the title. It gets room for both.
    if (event->type() != QEvent::ChildPolished)
        return;
    auto *progress = qobject_cast<QProgressDialog *>(event->child());
    if (!progress)
        return;
    const QString title =
        progress->windowTitle().isEmpty() ? QGuiApplication::applicationDisplayName() : progress->windowTitle();
    QFont titleFont = progress->font();
    titleFont.setBold(true);
    const int needed = QFontMetrics(titleFont).horizontalAdvance(title) + TitleBarControlsWidth;
    progress->setMinimumWidth(qMax(progress->minimumWidth(), needed));
}

void MainWindow::on_actionExit_triggered()
{
    if (busy)
        GUI_LOG(logger, "MainWindow", "Warning: Tolvern in use!!! ");
    GUI_LOG(logger, "MainWindow", "bye!");
    close();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (!settleConfigChanges())
    {
        event->ignore();
        return;
    }
    if (busy)
    {
        GUI_LOG(logger, "MainWindow", "Warning: Tolvern in use!!! ");
        if (captureRunning && captureHoldsBusy)
        {
            if (captureJob && captureJob->process())
                captureJob->process()->Kill();
            if (captureTimer)
                captureTimer->stop();
            QThread::msleep(2000);
        }
    }
    prefs->gui.setLastTab(ui->tabWidget->currentIndex());
    const QRect area = geometry();
    prefs->gui.setGeometry(area.x(), area.y(), area.width(), area.height());
    GUI_LOG(logger, "MainWindow", "bye!");
    prefs->save();
    event->accept();
}

void MainWindow::runUnlessBusy(QDialog *dialog)
{
    if (busy)
    {
        UserMessage::critical("Error ", "Dongle in use , please stop current action");
        return;
    }
    dialog->setModal(true);
    dialog->exec();
}

void MainWindow::on_actionPreferences_triggered()
{
    runUnlessBusy(prefsWindow);
}

void MainWindow::on_actionAbout_triggered()
{
    runUnlessBusy(aboutDialog);
}

void MainWindow::on_actionLog_triggered()
{
    logDialog->setModal(true);
    logDialog->exec();
}

void MainWindow::on_UpateConf(xml_preferences *newPrefs)
{
    GUI_LOG(logger, "MainWindow", "new preferences");
    // Only the link settings are taken: the dialog edits nothing else, and its Gui settings are those of
    // the last save, which would throw away the filters, hidden columns and files chosen since.
    if (newPrefs)
        prefs->setWMBus(newPrefs->wmbus);
    setStatusLabel();
}
