#ifndef GUI_BACKEND_OUTPUTLINES_H
#define GUI_BACKEND_OUTPUTLINES_H

#include <QString>
#include <QStringList>

// Whole lines out of Tolvern's output, whatever the chunks: a line cut between two chunks is handed out
// once its end has arrived. Lines are cut at line feeds only; a carriage return before one stays at the
// end of its line, as the jobs that read status lines have always seen them.
class OutputLines
{
public:
    QStringList feed(const QString &chunk);
    // The unfinished last line, once the output has ended; empty when there is none.
    QString flush();
    // The text after the first occurrence of marker in line; empty when it does not occur.
    static QString after(const QString &line, const QString &marker);

private:
    QString partial;
};

#endif
