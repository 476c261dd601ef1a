#ifndef GUI_BACKEND_TESTS_FAKETOLVERN_H
#define GUI_BACKEND_TESTS_FAKETOLVERN_H

#include <QByteArray>
#include <QString>
#include <QStringList>

// A stand-in for Tolvern: a shell script that records its arguments, prints the given output in the given
// chunks (with pauses between them, so they reach the GUI as separate pieces) and exits with a given code.
class FakeTolvern
{
public:
    explicit FakeTolvern(const QString &dir);
    FakeTolvern &out(const QByteArray &bytes);
    FakeTolvern &err(const QByteArray &bytes);
    // Prints before, the argument that follows option on the command line, and a line feed.
    FakeTolvern &outArgument(const QByteArray &before, const QString &option);
    FakeTolvern &pause(int ms);
    FakeTolvern &exitCode(int code);
    FakeTolvern &runUntilKilled(); // ends in a long sleep instead of exiting
    // Ends waiting for SIGTERM, as Tolvern does: then, after cleaning up for pauseMs, prints lastOutput
    // and exits with the code.
    FakeTolvern &untilTerminated(const QByteArray &lastOutput, int code, int pauseMs = 0);
    // Ends waiting as a run that notes SIGTERM with this output but goes on until it is killed.
    FakeTolvern &ignoringTerminate(const QByteArray &note);
    FakeTolvern &shell(const QString &line); // a line of shell script at this point
    FakeTolvern &crash();                    // ends by a segmentation fault signal
    // Writes the script and makes it the program the runners start; returns its path.
    QString install();
    QStringList recordedArgs() const;
    QString argsFile() const { return dir + "/args.txt"; }

private:
    QString dir;
    QStringList lines;
    QString ending = "exit 0";
};

#endif
