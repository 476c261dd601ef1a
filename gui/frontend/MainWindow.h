#ifndef GUI_FRONTEND_MAINWINDOW_H
#define GUI_FRONTEND_MAINWINDOW_H

#include "CaptureFrame.h"
#include "ConfigParam.h"
#include "ConfigTemplate.h"
#include "Dialog_dongle_detection.h"
#include "FrameFilter.h"
#include "ModuleStatisticsList.h"
#include "RadioTestFrame_t.h"
#include "tolvern_capture.h"
#include "tolvern_config.h"
#include "tolvern_installation.h"
#include "tolvern_update.h"
#include "xml_radio_test.h"

#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QPair>
#include <QPointer>
#include <QStringList>
#include <memory>

class ConfigDocument;
class Dialog_DongleOperation;
class Dialog_about;
class Dialog_log;
class Logger;
class PreferencesWindow;
class QAction;
class QCompleter;
class QLabel;
class QTimer;
class QTreeWidgetItem;
class TemplateList;
class Ui_MainWindow;
class xml_capture;
class xml_preferences;

// The one window of the GUI. Its pages are groups of slots, split over one source file per page.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // Page indices of the main tab widget.
    enum Page
    {
        PageModuleConfig = 0,
        PageCapture = 1,
        PageRadioTest = 2
    };
    static constexpr int FrameColumns = 14;
    static constexpr int ModuleColumns = 9;
    static constexpr int ProgressThreshold = 1000;    // larger re-listings show a modal progress dialog
    static constexpr int OpenProgressStep = 100;      // frames listed between two event rounds while opening
    static constexpr int TitleBarControlsWidth = 160; // a title bar's icon and buttons, beside its title

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    bool UartPortCheck();

    // One frame as a frame-list row. The live form adds the row at once; the batch form collects it.
    void InsertFrame(const CaptureFrame_t &frame, qint64 previousTime);
    void InsertFrame(const CaptureFrame_t &frame, qint64 previousTime, QList<QTreeWidgetItem *> &rows);
    bool FrameMatchesFilter(const CaptureFrame_t &frame) const;

    void BuildParamTree();
    bool ValidateValue(const QString &value, const QString &regex, const QString &min, const QString &max,
                       const QString &name);
    QList<ConfigParam> CollectParams(bool validate);
    bool LoadConfig(const QString &file);
    void ResetUpdateTab();
    static QString rssiText(int v);
    int startedRuns() const { return runsStarted; }
    bool isConfigModified() const { return configModified; }
    tolvern_config *currentConfigJob() const { return configJob; }

    // For tests and the pages: read-only views of the window's state.
    Ui_MainWindow *form() const { return ui; }
    bool isBusy() const { return busy; }
    xml_preferences *preferences() const { return prefs; }
    xml_capture *currentCaptureStore() const { return captureStore.get(); }
    tolvern_capture *currentCaptureJob() const { return captureJob; }
    QLabel *statusBarLabel() const { return statusLabel; }
    const ModuleStatisticsList &statistics() const { return moduleStats; }
    Dialog_DongleOperation *operationDlg() const { return operationDialog; }
    PreferencesWindow *preferencesDialog() const { return prefsWindow; }
    Dialog_about *aboutDlg() const { return aboutDialog; }
    Dialog_log *logDlg() const { return logDialog.get(); }
    QStringList hiddenFrameColumns() const { return framesHiddenColumns; }
    QStringList hiddenModuleColumns() const { return modulesHiddenColumns; }
    // The context-menu entries, for those who cannot right-click (tests, keyboard users).
    QList<QAction *> frameMenuActions() const;

    static QString filterCondition(int column, const QString &op, const QString &value);
    // The text as a double-quoted script string literal: backslashes, quotes and line breaks escaped.
    static QString scriptString(const QString &text);
    static QString captureDuration(int seconds, int frameCount);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void childEvent(QChildEvent *event) override;

public slots:
    // Page change, shutdown and dialogs.
    void on_tabWidget_currentChanged(int index);
    void on_actionExit_triggered();
    void on_actionPreferences_triggered();
    void on_actionAbout_triggered();
    void on_actionLog_triggered();
    void on_UpateConf(xml_preferences *newPrefs);

    // Capture run.
    void on_pushButton_SniffStart_clicked();
    void on_pushButton_SniffStop_clicked();
    void CaptureTimer();
    void on_ReceiveNewFrame();
    void CaptureExecutionError(int iErrorCode);
    void StdErroPrint(QString text);
    void on_actionNew_capture_triggered();

    // Module information read.
    void on_pushButton_basics_clicked();
    void on_BasicsNewFrame();
    void BasicsTO();
    void on_BasicsEnd();

    // Parameter tree and configuration files.
    void on_comboBox_ModuleType_currentIndexChanged(int index);
    void on_treeWidget_Param_itemDoubleClicked(QTreeWidgetItem *item, int column);
    void on_treeWidget_Param_itemChanged(QTreeWidgetItem *item, int column);
    void on_actionNew_config_triggered();
    void on_actionOpen_Config_triggered();
    void on_actionSave_config_triggered();
    void on_actionSave_config_as_triggered();

    // Parameter read and write.
    void on_pushButton_ReadParam_clicked();
    void on_pushButton_WriteParam_clicked();
    void on_Connected(QString address);
    void on_OperationAccepted();
    void on_OperationCanceled();
    void ParamAccessExecutionError(int iErrorCode);

    // Firmware update.
    void on_toolButton_FirmwareFile_clicked();
    void on_pushButton_StartUpdate_clicked();
    void on_pushButton_cancel_update_clicked();
    void on_UpdatePacketSent(int iSize);
    void on_UpdateStatus(QString line);
    void on_UpdateFinished(int status);
    void UpdateExecutionError(int iErrorCode);
    void UpdateTimer();
    void UpdateCliTimeOut();

    // Radio test and installation files.
    void on_lineEdit_LocationName_textChanged(const QString &text);
    void on_lineEdit_LocationName_editingFinished();
    void on_pushButton_InstallationStart_clicked();
    void on_pushButton_InstallationClear_clicked();
    void RadioTestTimer();
    void GetNewAnswer(RadioTestFrame_t frame);
    void StartRun();
    void on_actionSave_Installation_triggered();
    void on_actionOpen_installation_triggered();

    // Frame list and module list.
    void on_treeWidget_FrameList_currentItemChanged(QTreeWidgetItem *current, QTreeWidgetItem *previous);
    void on_treeWidget_FrameList_itemClicked(QTreeWidgetItem *item, int column);
    void sectionClickedFrames(int index);

    // Capture files.
    void on_actionSave_Capture_triggered();
    void on_actionOpen_Trace_triggered();

    // Filter.
    void on_pushButton_applyfilter_clicked();
    void on_pushButton_clearfilter_clicked();
    void on_comboBox_FilterInput_editTextChanged(const QString &text);

    // Context menus and columns.
    void showContextMenuFrames(const QPoint &point);
    void showContextMenuModules(const QPoint &point);
    void showContextMenuFramesHeader(const QPoint &point);
    void showContextMenuModulesHeader(const QPoint &point);
    void ActionSetFilterEq_triggered(bool checked);
    void CM_FilterNeq_triggered(bool checked);
    void CM_FilterGt_triggered(bool checked);
    void CM_FilterLt_triggered(bool checked);
    void CM_Copy_triggered(bool checked);
    void CM_Hide_triggered(bool checked);
    void CM_Show_triggered(bool checked);

private:
    Ui_MainWindow *ui;
    Dialog_dongle_detection detectionDialog;
    ModuleStatisticsList moduleStats;
    QStringList framesHiddenColumns;
    QStringList modulesHiddenColumns;
    Logger *logger = nullptr;
    std::unique_ptr<Dialog_log> logDialog;
    PreferencesWindow *prefsWindow = nullptr;
    Dialog_DongleOperation *operationDialog = nullptr;
    Dialog_about *aboutDialog = nullptr;
    xml_preferences *prefs = nullptr;
    bool busy = false;
    QLabel *statusLabel = nullptr;
    std::unique_ptr<TemplateList> templates;
    QCompleter *filterCompleter = nullptr;

    // Capture page.
    std::unique_ptr<xml_capture> captureStore;
    QPointer<tolvern_capture> captureJob;
    QTimer *captureTimer = nullptr;
    bool captureRunning = false; // from Start until Stop
    bool captureHoldsBusy = false;
    int captureSeconds = 0;
    qint64 captureStartTime = 0;
    qint64 lastListedTime = 0;
    int lastListedNumber = -1;
    int lastTestedNumber = 0; // frames up to this number have been tested by the live listing
    std::unique_ptr<FrameFilter> frameFilter = std::make_unique<FrameFilter>();
    bool relisting = false;
    mutable bool filterStopLogged = false;
    int listingGeneration = 0; // counts the emptyings and refillings of the lists
    int framesSortDescending = 0;
    QHash<QString, QTreeWidgetItem *> manufacturerRows;           // of the module list, by manufacturer
    QHash<QPair<QString, QString>, QTreeWidgetItem *> moduleRows; // by manufacturer and Id
    QObject moduleRowsKeeper; // context of the connections that empty the two: goes before them, and before the lists

    // Informations page.
    std::unique_ptr<xml_capture> basicsStore;
    QPointer<tolvern_capture> basicsJob;
    QTimer *basicsTimer = nullptr;
    bool basicsActive = false;    // from Start until End
    bool basicsHoldsBusy = false; // until End, the time-out or an error exit
    bool basicsInDialog = false;  // the operation dialog runs for this read

    // Parameters page.
    int templateIndex = 0;
    bool editPending = false;
    bool configModified = false;
    bool typeRevert = false;
    bool firstTypeChange = true;
    QPointer<tolvern_config> configJob;
    ConfigDocument *requestDocument = nullptr; // deleted with configJob

    // Firmware Update page.
    QString firmwareFile;
    int firmwareSize = 0;
    int bootSeconds = 0;
    bool updateRunning = false;
    QPointer<tolvern_update> updateJob;
    QTimer *bootloaderTimer = nullptr;
    QTimer *cliTimeoutTimer = nullptr;
    QMetaObject::Connection updateCancelBinding;

    // Radio Test page.
    QPointer<tolvern_installation> installationJob;
    QPointer<xml_radio_test> answerParser;
    QTimer *testTimer = nullptr;
    int testSeconds = 0;
    int runSeconds = 0;
    int runsStarted = 0;
    int runsLeft = 0;

    // Context menus.
    int headerMenuColumn = -1;
    QAction *cmSetFilterEq = nullptr;
    QAction *cmSetFilterNeq = nullptr;
    QAction *cmSetFilterGt = nullptr;
    QAction *cmSetFilterLt = nullptr;
    QAction *cmSelectModule = nullptr;
    QAction *cmClearFilter = nullptr;
    QAction *cmCopy = nullptr;
    QAction *cmHide = nullptr;
    QList<QAction *> cmApplyEntries;   // the six "Apply a Filter" entries of the string columns
    QList<QAction *> cmPrepareEntries; // the six "Prepare as Filter" entries

    void setStatusLabel();
    void showCaptureStatus();
    void setupFrameList();
    void setupModuleList();
    void setupContextMenus();
    void setupFilterBox();
    void hideStoredColumns(class QTreeWidget *tree, const QStringList &names);
    void refuseBusy();
    bool operationDialogBusy() const; // busy, or the operation dialog has not returned yet
    // The box for a Tolvern run that ended with an error code; a request file it names is called "the request".
    void reportExitCode(int code, const QString &requestFile = QString());
    void releaseCaptureJob();
    void releaseBasicsJob();
    void setupParameterPage();
    void setupFirmwarePage();
    void stopUpdateRun();
    void releaseUpdateJob();
    void setupRadioTestPage();
    void fitInstallationColumns();
    void endRun();
    void updateCounts();
    void collectRow(QTreeWidgetItem *row, bool validate, QList<ConfigParam> &params);
    void reportTemplateProblems();
    ConfigTemplate shownTemplate() const; // the template the tree was built from
    QList<QTreeWidgetItem *> paramRows() const;
    QTreeWidgetItem *tickedNamesake(QTreeWidgetItem *row) const; // another ticked row of the same name
    QTreeWidgetItem *paramRowNamed(const QString &code) const;   // the first row of that name
    // Asks what becomes of an edited configuration before it is left: true when it may go (saved, or
    // dropped), false when it stays (Cancel, or a save that did not happen).
    bool settleConfigChanges();
    bool saveConfig();
    bool saveConfigAs();
    bool writeConfigFile(const QString &file);
    void startParamAccess(bool write);
    void fillReadBackRow(QTreeWidgetItem *row, const ConfigParam &param, const QString &key);
    void showModuleInformation(const CaptureFrame_t &frame);
    void showInformationRecord(const class QDomElement &record, const QString &medium);
    QTreeWidgetItem *makeFrameRow(const CaptureFrame_t &frame, qint64 previousTime) const;
    void updateModuleList(const CaptureFrame_t &frame);
    void relist(bool applyFilter);
    // Lists the frames with the batch form, all or those that pass the filter, processing events every step
    // frames of a large list; false when the lists were taken over meanwhile (New capture, another listing).
    bool listFrames(const QList<CaptureFrame> &frames, class QProgressDialog &progress, int step, bool applyFilter);
    // A click that comes from the events a listing lets through runs once the listing has given way.
    bool deferWhileListing(void (MainWindow::*slot)());
    void setFilterText(const QString &text, bool apply);
    void stringFilterEntry(const QString &op);
    void showHeaderMenu(class QTreeWidget *tree, const QString &type, const QStringList &hidden, const QPoint &point);
    void runUnlessBusy(class QDialog *dialog);
    void numberFilterEntry(const QString &op);
};

#endif
