#include "DocumentArena.h"

QString DocumentText::toString() const
{
    return block ? QString::fromUtf8(block->constData() + offset, size) : QString();
}

QByteArray DocumentText::toUtf8() const
{
    return block ? QByteArray(block->constData() + offset, size) : QByteArray();
}

DocumentText DocumentArena::add(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    // A text that would make the block grow starts a new one: growing would move the texts already stored.
    if (!current || current->capacity() - current->size() < bytes.size())
    {
        current = std::make_shared<QByteArray>();
        current->reserve(qMax(BlockBytes, bytes.size()));
    }
    DocumentText stored;
    stored.offset = current->size();
    stored.size = bytes.size();
    current->append(bytes);
    stored.block = current;
    return stored;
}
