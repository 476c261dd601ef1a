#ifndef MODEMEMU_MAILBOX_H
#define MODEMEMU_MAILBOX_H

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace ModemEmu
{

struct MailboxEntry
{
    uint8_t id;
    std::vector<uint8_t> frame; // the radio frame as the host handed it (L C M A CI ...)
};

// The modem's queue of radio frames waiting for their module to listen.
// Message ids run 1..255 and wrap, skipping ids still pending; 0 is never
// given out, so a host that treats 0 as "nothing queued" stays right.
class Mailbox
{
public:
    explicit Mailbox(size_t capacity = 8) : capacity_(capacity) {}

    void SetCapacity(size_t capacity) { capacity_ = capacity; }
    size_t Capacity() const { return capacity_; }
    size_t Count() const { return entries_.size(); }
    size_t FreeSpace() const { return entries_.size() >= capacity_ ? 0 : capacity_ - entries_.size(); }

    // The new message id, or nothing when the mailbox is full.
    std::optional<uint8_t> Add(std::vector<uint8_t> frame);
    bool Contains(uint8_t id) const;
    bool Remove(uint8_t id);
    const std::deque<MailboxEntry> &Entries() const { return entries_; }
    void Clear() { entries_.clear(); }

private:
    size_t capacity_;
    uint8_t lastId_ = 0;
    std::deque<MailboxEntry> entries_;
};

} // namespace ModemEmu

#endif
