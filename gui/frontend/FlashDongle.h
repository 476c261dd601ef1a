#ifndef GUI_FRONTEND_FLASHDONGLE_H
#define GUI_FRONTEND_FLASHDONGLE_H

#include <QDialog>
#include <QProcess>
#include <QString>
#include <memory>

class Logger;
class Ui_FlashDongle;
class xml_preferences;

// Flashes the modem's own firmware from an Intel HEX file through the outside flashing tool.
class FlashDongle : public QDialog
{
    Q_OBJECT
public:
    static constexpr const char *ToolPath = "STFL/EraseFlashVerify.bat";
    static constexpr int LinesPerCount = 17; // HEX lines per progress count of the tool
    static constexpr int DefaultTotal = 235;

    FlashDongle(QWidget *parent, xml_preferences *prefs, Logger *logger);
    ~FlashDongle() override;

    static int countLines(const QString &path);
    // The progress total of a HEX file: its lines per progress count, never 0.
    static int totalFor(const QString &path);
    // What the tool is given after its path: the port number and the quoted file.
    static QString toolArguments(const QString &port, const QString &hexFile);
    // The count of a progress line: its fourth blank-separated field; 0 when it has none or is no number.
    static int progressCount(const QString &line, bool *present);

    bool isSuccess() const { return success; }
    QString lastError() const { return errorText; }

    // Escape and the window's close button end here: refused while the tool runs, which would otherwise go
    // on flashing behind a closed dialog while others open the modem's port.
    void reject() override;

signals:
    // The outside tool started (true) or ended (false): the modem's port is the tool's meanwhile.
    void ToolRunning(bool running);

public slots:
    void on_pushButtonOpen_clicked();
    void on_pushButtonStart_clicked();
    void ReadOutPut();
    void ReadError();
    void EndOfCommand();
    void on_pushButtonExit_clicked();

protected:
    void showEvent(QShowEvent *event) override;

private slots:
    void StartFailed(QProcess::ProcessError error);

private:
    Ui_FlashDongle *ui;
    Logger *logger;
    xml_preferences *prefs;
    QString hexPath;
    std::unique_ptr<QProcess> process;
    bool running = false;
    bool success = false;
    bool toolActive = false; // from the tool's start until its end
    QString errorText;
    int total = DefaultTotal;

    void handleLine(const QString &line);
};

#endif
