#include "FakeTolvern.h"

#include "tolvern_process.h"

#include <QFile>

namespace
{
// Every byte as an octal escape, so any output (quotes, percent signs, carriage returns) survives printf.
QString printfArgument(const QByteArray &bytes)
{
    QString text = "'";
    for (unsigned char c : bytes)
        text += QString("\\%1").arg(c, 3, 8, QLatin1Char('0'));
    return text + "'";
}
} // namespace

FakeTolvern::FakeTolvern(const QString &dir) : dir(dir) {}

FakeTolvern &FakeTolvern::out(const QByteArray &bytes)
{
    lines << "printf " + printfArgument(bytes);
    return *this;
}

FakeTolvern &FakeTolvern::err(const QByteArray &bytes)
{
    lines << "printf " + printfArgument(bytes) + " >&2";
    return *this;
}

FakeTolvern &FakeTolvern::outArgument(const QByteArray &before, const QString &option)
{
    lines << "previous=; for a in \"$@\"; do [ \"$previous\" = '" + option + "' ] && printf " + printfArgument(before) +
                 "'%s\\n' \"$a\"; previous=$a; done";
    return *this;
}

FakeTolvern &FakeTolvern::pause(int ms)
{
    lines << QString("sleep %1").arg(ms / 1000.0, 0, 'f', 3);
    return *this;
}

FakeTolvern &FakeTolvern::exitCode(int code)
{
    ending = QString("exit %1").arg(code);
    return *this;
}

FakeTolvern &FakeTolvern::runUntilKilled()
{
    ending = "exec sleep 60";
    return *this;
}

namespace
{
// A wait the shell breaks off for a trapped signal; a plain sleep would hold the handler back.
const QString WaitForSignals = "while :; do sleep 1 >/dev/null 2>&1 & wait $!; done";
} // namespace

FakeTolvern &FakeTolvern::untilTerminated(const QByteArray &lastOutput, int code, int pauseMs)
{
    lines << QString("trap \"sleep %1; printf %2; exit %3\" TERM")
                 .arg(pauseMs / 1000.0, 0, 'f', 3)
                 .arg(printfArgument(lastOutput))
                 .arg(code);
    ending = WaitForSignals;
    return *this;
}

FakeTolvern &FakeTolvern::ignoringTerminate(const QByteArray &note)
{
    lines << QString("trap \"printf %1\" TERM").arg(printfArgument(note));
    ending = WaitForSignals;
    return *this;
}

FakeTolvern &FakeTolvern::shell(const QString &line)
{
    lines << line;
    return *this;
}

FakeTolvern &FakeTolvern::crash()
{
    ending = "kill -SEGV $$";
    return *this;
}

QString FakeTolvern::install()
{
    const QString path = dir + "/Tolvern";
    QFile script(path);
    script.open(QIODevice::WriteOnly | QIODevice::Truncate);
    QString text = "#!/bin/sh\n";
    text += ": > '" + argsFile() + "'\n";
    text += "for a in \"$@\"; do printf '%s\\n' \"$a\" >> '" + argsFile() + "'; done\n";
    text += lines.join('\n') + '\n' + ending + '\n';
    script.write(text.toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    tolvern_process::setProgramPath(path);
    return path;
}

QStringList FakeTolvern::recordedArgs() const
{
    QFile file(argsFile());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(file.readAll());
    if (text.endsWith('\n'))
        text.chop(1);
    return text.split('\n');
}
