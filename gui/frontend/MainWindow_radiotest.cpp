// The Radio Test page: runs of installation requests, the concentrators' answers and installation files.
#include "MainWindow.h"

#include "FileChooser.h"
#include "Logger.h"
#include "UserMessage.h"
#include "tolvern_installation.h"
#include "ui_MainWindow.h"
#include "xml_preferences.h"
#include "xml_radio_test.h"

#include <QDebug>
#include <QDomDocument>
#include <QFile>
#include <QHeaderView>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <utility>

namespace
{
enum InstallationColumn
{
    ColRadioId = 0,
    ColUid = 1,
    ColUplink = 2,
    ColDownlink = 3,
    ColCount = 4,
};

constexpr int MaxRssi = 127;
constexpr int SwitchPauseMs = 50;
// An RSSI cell keeps its shown average under Qt::UserRole, and beside it how many answers the average holds
// (answers without signal strength are left out of it) and their sum, so that later answers weigh the same.
constexpr int RssiSamplesRole = Qt::UserRole + 1;
constexpr int RssiSumRole = Qt::UserRole + 2;
// A Count cell of a row from an installation file: the file's runs less the runs started when it was opened,
// so that the runs after it add to the file's.
constexpr int RunsBeforeRole = Qt::UserRole;
constexpr const char *NoRssiText = "-";
// The attributes of uplink_RSSI and downlink_RSSI that keep an average's answers and their sum.
constexpr const char *SamplesAttribute = "answers";
constexpr const char *SumAttribute = "sum";

struct InstallationElement
{
    const char *tag;
    int column;
};
constexpr InstallationElement installationElements[] = {
    {"id", ColRadioId}, {"uplink_RSSI", ColUplink}, {"downlink_RSSI", ColDownlink}, {"ratio", ColCount}};

// The cell of a row, made when an opened file left it out.
QTableWidgetItem *cellOf(QTableWidget *table, int row, int column)
{
    QTableWidgetItem *cell = table->item(row, column);
    if (!cell)
    {
        cell = new QTableWidgetItem;
        table->setItem(row, column, cell);
    }
    return cell;
}

int answersOf(const QString &count)
{
    const int slash = count.indexOf('/');
    return (slash < 0 ? count : count.left(slash)).toInt();
}

// The runs of a Count text; a text without them counts one run per answer.
int runsOf(const QString &count)
{
    const int slash = count.indexOf('/');
    bool ok = false;
    const int runs = slash < 0 ? 0 : count.mid(slash + 1).toInt(&ok);
    return ok && runs >= 0 ? runs : answersOf(count);
}

// The dBm value of an RSSI text ("52%  |  -60dBm" gives 60); none for "-" or another text.
int rssiOfText(const QString &text)
{
    static const QRegularExpression value("-(\\d{1,3})dBm$");
    const QRegularExpressionMatch match = value.match(text);
    return match.hasMatch() ? match.captured(1).toInt() : RadioTestFrame_t::NoRssi;
}

struct RssiAverage
{
    int samples = 0;
    qint64 sum = 0;
    int mean() const { return static_cast<int>((2 * sum + samples) / (2 * samples)); } // to the nearest dBm
};

// The average behind an RSSI cell. A row from a file that kept only the texts gives its shown value the
// weight of all its answers.
RssiAverage averageOf(const QTableWidgetItem *cell, int answers)
{
    RssiAverage average;
    const QVariant samples = cell->data(RssiSamplesRole);
    if (samples.isValid())
    {
        average.samples = samples.toInt();
        const QVariant sum = cell->data(RssiSumRole);
        average.sum = sum.isValid() ? sum.toLongLong() : qint64(cell->data(Qt::UserRole).toInt()) * average.samples;
        return average;
    }
    const int shown = rssiOfText(cell->text());
    if (shown != RadioTestFrame_t::NoRssi && answers > 0)
    {
        average.samples = answers;
        average.sum = qint64(shown) * answers;
    }
    return average;
}

void keepAverage(QTableWidgetItem *cell, const RssiAverage &average)
{
    cell->setData(RssiSamplesRole, average.samples);
    cell->setData(RssiSumRole, average.sum);
    if (average.samples > 0)
        cell->setData(Qt::UserRole, average.mean());
}

void showAverage(QTableWidgetItem *cell, const RssiAverage &average)
{
    keepAverage(cell, average);
    cell->setText(average.samples > 0 ? MainWindow::rssiText(average.mean()) : QString(NoRssiText));
}

// The average an opened file kept beside an RSSI text; nothing is kept from a file without it (or with
// numbers no answers could give), and the shown text then stands for the average.
void restoreAverage(QTableWidgetItem *cell, const QDomElement &element)
{
    bool samplesOk = false, sumOk = false;
    RssiAverage average;
    average.samples = element.attribute(SamplesAttribute).toInt(&samplesOk);
    average.sum = element.attribute(SumAttribute).toLongLong(&sumOk);
    if (samplesOk && sumOk && average.samples >= 0 && average.sum >= 0 &&
        average.sum <= qint64(MaxRssi) * average.samples)
    {
        keepAverage(cell, average);
        return;
    }
    for (int role : {int(Qt::UserRole), RssiSamplesRole, RssiSumRole})
        cell->setData(role, QVariant());
}

// Sorting moves rows while cells are written; a row is filled whole with sorting off.
class SortPause
{
public:
    explicit SortPause(QTableWidget *table) : table(table), was(table->isSortingEnabled())
    {
        table->setSortingEnabled(false);
    }
    ~SortPause() { table->setSortingEnabled(was); }
    SortPause(const SortPause &) = delete;
    SortPause &operator=(const SortPause &) = delete;

private:
    QTableWidget *table;
    bool was;
};
} // namespace

QString MainWindow::rssiText(int v)
{
    if (v == RadioTestFrame_t::NoRssi)
        return NoRssiText;
    const int p = ((MaxRssi - v) * 100) / MaxRssi;
    return QString::number(p) + "%  |  -" + QString::number(v) + "dBm";
}

void MainWindow::setupRadioTestPage()
{
    QTableWidget *table = ui->tableWidget_installation;
    const int w = table->width();
    for (int column = ColRadioId; column <= ColDownlink; ++column)
        table->setColumnWidth(column, w >= 500 ? w / 4 : 125);
    const int count = prefs->gui.getRadioTestCount();
    ui->spinBoxRadioTestCount->setValue(count >= 1 && count <= 99 ? count : 1);
    const int duration = prefs->gui.getRadioTestDuration();
    ui->progressBar_Installation->setMaximum(duration);
    ui->progressBar_Installation->setFormat("%vs/" + QString::number(duration) + "s");
}

void MainWindow::on_lineEdit_LocationName_textChanged(const QString &)
{
    ui->pushButton_InstallationStart->setEnabled(true);
    runsStarted = 0;
}

void MainWindow::on_lineEdit_LocationName_editingFinished()
{
    ui->pushButton_InstallationStart->setFocus(Qt::OtherFocusReason);
    runsStarted = 0;
}

void MainWindow::on_pushButton_InstallationStart_clicked()
{
    if (busy)
    {
        refuseBusy();
        return;
    }
    prefs->gui.setRadioTestCount(ui->spinBoxRadioTestCount->value());
    runsLeft = ui->spinBoxRadioTestCount->value();
    const int total = prefs->gui.getRadioTestDuration() * prefs->gui.getRadioTestCount();
    ui->progressBar_Installation->setFormat("%vs/" + QString::number(total) + "s");
    ui->progressBar_Installation->setMaximum(total);
    ui->progressBar_Installation->setEnabled(true);
    ui->progressBar_Installation->setValue(0);
    testSeconds = 0;
    runSeconds = 0;
    if (!testTimer)
    {
        testTimer = new QTimer(this);
        connect(testTimer, &QTimer::timeout, this, &MainWindow::RadioTestTimer);
    }
    testTimer->start(1000);
    ui->tableWidget_installation->horizontalHeader()->setDefaultSectionSize(150);
    StartRun();
}

void MainWindow::StartRun()
{
    if (busy)
    {
        refuseBusy();
        return;
    }
    busy = true;
    answerParser = new xml_radio_test(this, logger);
    installationJob = new tolvern_installation(prefs->wmbus.data(), this, logger, prefs->gui.getAutoKill());
    connect(installationJob.data(), &tolvern_installation::ReceiveNewFrame, answerParser.data(),
            &xml_radio_test::GetNewFrame);
    connect(answerParser.data(), &xml_radio_test::ReceiveAnswer, this, &MainWindow::GetNewAnswer);
    ++runsStarted;
    ui->tableWidget_installation->setEnabled(true);
    ui->pushButton_InstallationClear->setEnabled(false);
    runSeconds = 0;
}

void MainWindow::endRun()
{
    updateCounts();
    busy = false;
    delete installationJob.data();
    delete answerParser.data();
}

void MainWindow::RadioTestTimer()
{
    ++runSeconds;
    ++testSeconds;
    const int duration = prefs->gui.getRadioTestDuration();
    if (testSeconds > duration * prefs->gui.getRadioTestCount())
    {
        endRun();
        testTimer->stop();
        ui->pushButton_InstallationClear->setEnabled(true);
        UserMessage::information("end ", "   Test done  ");
        return;
    }
    ui->progressBar_Installation->setValue(testSeconds);
    if (runSeconds > duration && runsLeft != 0)
    {
        --runsLeft;
        runSeconds = 0;
        endRun();
        QThread::msleep(SwitchPauseMs);
        StartRun();
    }
}

void MainWindow::updateCounts()
{
    QTableWidget *table = ui->tableWidget_installation;
    const SortPause pause(table);
    for (int row = 0; row < table->rowCount(); ++row)
    {
        QTableWidgetItem *count = cellOf(table, row, ColCount);
        const int runs = count->data(RunsBeforeRole).toInt() + runsStarted;
        count->setText(QString::number(answersOf(count->text())) + "/" + QString::number(runs));
    }
}

void MainWindow::GetNewAnswer(RadioTestFrame_t frame)
{
    QTableWidget *table = ui->tableWidget_installation;
    const SortPause pause(table);
    int found = -1;
    for (int column = 0; column < table->columnCount() && found < 0; ++column)
    {
        for (int row = 0; row < table->rowCount(); ++row)
        {
            if (table->item(row, column) && table->item(row, column)->text() == frame.id)
            {
                found = row;
                break;
            }
        }
    }
    const int uplink = frame.uplinkRssi;
    const int downlink = frame.downlinkRssi;
    if (found < 0)
    {
        table->insertRow(0);
        const QString texts[] = {frame.id, frame.uid, rssiText(uplink), rssiText(downlink),
                                 "1/" + QString::number(runsStarted)};
        for (int column = ColRadioId; column <= ColCount; ++column)
        {
            auto *cell = new QTableWidgetItem(texts[column]);
            cell->setTextAlignment(Qt::AlignHCenter);
            table->setItem(0, column, cell);
        }
        for (const auto &[column, value] : {std::pair{ColUplink, uplink}, std::pair{ColDownlink, downlink}})
        {
            RssiAverage first;
            if (value != RadioTestFrame_t::NoRssi)
                first = RssiAverage{1, value};
            keepAverage(table->item(0, column), first);
        }
        return;
    }
    QTableWidgetItem *count = cellOf(table, found, ColCount);
    const int n = answersOf(count->text());
    const int runs = count->data(RunsBeforeRole).toInt() + runsStarted;
    count->setText(QString::number(n + 1) + "/" + QString::number(runs));
    for (const auto &[column, value] : {std::pair{ColUplink, uplink}, std::pair{ColDownlink, downlink}})
    {
        if (value == RadioTestFrame_t::NoRssi)
            continue; // the cell keeps the average of the answers that had a value
        QTableWidgetItem *cell = cellOf(table, found, column);
        RssiAverage average = averageOf(cell, n);
        ++average.samples;
        average.sum += value;
        showAverage(cell, average);
    }
}

void MainWindow::on_pushButton_InstallationClear_clicked()
{
    ui->pushButton_InstallationStart->setEnabled(false);
    ui->progressBar_Installation->setEnabled(false);
    ui->progressBar_Installation->setValue(0);
    ui->pushButton_InstallationClear->setEnabled(false);
    ui->tableWidget_installation->setEnabled(false);
    ui->tableWidget_installation->clearContents();
    ui->tableWidget_installation->setRowCount(0);
    ui->lineEdit_LocationName->clear();
    runsStarted = 0;
    ui->pushButton_InstallationStart->setEnabled(false);
    if (testTimer)
        testTimer->stop();
}

void MainWindow::on_actionSave_Installation_triggered()
{
    const QString name = FileChooser::saveFile(this, "Save installation file",
                                               ui->lineEdit_LocationName->text() + ".xml", "XML Files (*.xml)");
    if (name.isEmpty())
        return;
    QSaveFile file(name);
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Text);
    if (written)
    {
        QTableWidget *table = ui->tableWidget_installation;
        auto text = [table](int row, int column)
        { return table->item(row, column) ? table->item(row, column)->text().toHtmlEscaped() : QString(); };
        // An average goes with what a later run needs to add to it.
        auto attributes = [table](int row, int column)
        {
            const QTableWidgetItem *cell = table->item(row, column);
            if (!cell || (column != ColUplink && column != ColDownlink))
                return QString();
            const QTableWidgetItem *count = table->item(row, ColCount);
            const RssiAverage average = averageOf(cell, count ? answersOf(count->text()) : 0);
            return QString(" %1=\"%2\" %3=\"%4\"")
                .arg(SamplesAttribute)
                .arg(average.samples)
                .arg(SumAttribute)
                .arg(average.sum);
        };
        QTextStream stream(&file);
        stream << "<installation name=\"" << ui->lineEdit_LocationName->text().toHtmlEscaped() << "\">\n";
        for (int row = 0; row < table->rowCount(); ++row)
        {
            stream << "\t<concentrator>\n";
            for (const InstallationElement &element : installationElements)
                stream << "\t\t<" << element.tag << attributes(row, element.column) << ">" << text(row, element.column)
                       << "</" << element.tag << ">\n";
            stream << "\t</concentrator>\n";
        }
        stream << "</installation>\n";
        stream.flush();
        written = stream.status() == QTextStream::Ok && file.commit();
    }
    if (!written)
        UserMessage::critical("Error", "Unable to write the installation file: " + name);
}

void MainWindow::on_actionOpen_installation_triggered()
{
    const QString name = FileChooser::openFile(this, "Open radio test File", QString(), "XML Files (*.xml)");
    QFile file(name);
    if (name.isEmpty() || !file.open(QIODevice::ReadOnly))
        return;
    QDomDocument document;
    if (!document.setContent(&file))
    {
        qDebug() << "Faild parsing xml file";
        UserMessage::critical("Error", "Failed parsing file");
        return;
    }
    const QDomElement root = document.documentElement();
    if (root.tagName() != "installation")
    {
        qDebug() << "wrong file  type";
        UserMessage::critical("Error", "wrong file  type");
        return;
    }
    if (root.firstChildElement().isNull())
    {
        qDebug() << "Empty installation file";
        UserMessage::critical("Error", "Empty installation file");
        return;
    }
    const QString location = root.attribute("name", "toto");
    ui->lineEdit_LocationName->setText(location);
    qDebug() << "location name:" << root.tagName() << "(" << location << ")";

    QTableWidget *table = ui->tableWidget_installation;
    for (QDomElement child = root.firstChildElement(); !child.isNull(); child = child.nextSiblingElement())
    {
        const SortPause pause(table);
        table->setEnabled(true);
        table->insertRow(0);
        if (child.tagName() != "concentrator")
            continue;
        for (QDomNode node = child.firstChildElement(); !node.isNull() && node.isElement(); node = node.nextSibling())
        {
            const QDomElement value = node.toElement();
            for (const InstallationElement &element : installationElements)
            {
                if (value.tagName() != element.tag)
                    continue;
                QTableWidgetItem *cell = cellOf(table, 0, element.column);
                cell->setText(value.firstChild().toText().data());
                if (element.column == ColUplink || element.column == ColDownlink)
                    restoreAverage(cell, value);
            }
        }
        // The runs after this one add to the file's.
        if (QTableWidgetItem *count = table->item(0, ColCount))
            count->setData(RunsBeforeRole, runsOf(count->text()) - runsStarted);
    }
}
