#include "DocumentArena.h"

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif

void DocumentArena::preferLargePages(const char *data, qint64 bytes)
{
#ifdef Q_OS_LINUX
    constexpr quintptr Page = 4096;
    const quintptr start = (reinterpret_cast<quintptr>(data) + Page - 1) & ~(Page - 1);
    const quintptr end = (reinterpret_cast<quintptr>(data) + quintptr(bytes)) & ~(Page - 1);
    if (end > start)
        madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
#else
    Q_UNUSED(data);
    Q_UNUSED(bytes);
#endif
}

QString DocumentText::toString() const
{
    return block ? QString::fromUtf8(block->constData() + offset, size) : QString();
}

DocumentText DocumentArena::add(const QByteArray &bytes)
{
    // A text that would make the block grow starts a new one: growing would move the texts already stored.
    if (!current || current->capacity() - current->size() < bytes.size())
    {
        current = std::make_shared<QByteArray>();
        current->reserve(qMax(BlockBytes, bytes.size()));
        preferLargePages(current->constData(), current->capacity());
    }
    DocumentText stored;
    stored.offset = current->size();
    stored.size = bytes.size();
    current->append(bytes);
    stored.block = current;
    return stored;
}
