#ifndef GUI_BACKEND_DOCUMENTARENA_H
#define GUI_BACKEND_DOCUMENTARENA_H

#include <QByteArray>
#include <QString>
#include <memory>

// The document text of one frame, kept as UTF-8 in a block it shares with the frames stored after it.
class DocumentText
{
public:
    DocumentText() = default;
    bool isValid() const { return block != nullptr; }
    QString toString() const;

private:
    friend class DocumentArena;
    std::shared_ptr<const QByteArray> block;
    int offset = 0;
    int size = 0;
};

// Packs the document texts of a store into large blocks. A capture holds a hundred thousand documents of
// about 1.5 kB: as UTF-16 strings, one allocation each, they took twice the room and left the heap full of
// holes when the store went. A block is reserved whole and filled in place (the texts already in it never
// move); it is big enough that the allocator maps it on its own and gives it back when its last frame goes.
class DocumentArena
{
public:
    static constexpr int BlockBytes = 48 * 1024 * 1024;

    DocumentText add(const QString &text) { return add(text.toUtf8()); }
    DocumentText add(const QByteArray &utf8);
    // Fresh memory costs a fault per page when first written, and on a virtual machine that fault is slow:
    // a large buffer asks for large pages, which take one fault for 512 small ones.
    static void preferLargePages(const char *data, qint64 bytes);

private:
    std::shared_ptr<QByteArray> current;
};

#endif
