#ifndef GUI_BACKEND_MBUSSTREAM_H
#define GUI_BACKEND_MBUSSTREAM_H

#include <QList>
#include <QString>

// Cuts Tolvern's standard output into whole mbus documents and the lines between them, whatever the
// chunks it arrives in: a document is handed out only once its end tag is there, several documents in
// one chunk come out one by one, and text outside documents comes out as lines.
class MbusStream
{
public:
    struct Piece
    {
        bool document; // true: one mbus document, from "<mbus" to "</mbus>"; false: a line of other output
        QString text;
    };

    QList<Piece> feed(const QString &chunk);
    // The output has ended: what is held back comes out as lines (an unfinished document cannot be used).
    QList<Piece> flush();
    // Text held back: an unfinished document or line.
    QString pending() const { return buffer; }

private:
    QString buffer;

    static int findStart(const QString &text, int from, int to);
    static void takeLines(const QString &text, int from, int to, QList<Piece> &pieces);
};

#endif
