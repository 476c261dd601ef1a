#include "Mailbox.h"

#include <algorithm>

namespace ModemEmu
{

std::optional<uint8_t> Mailbox::Add(std::vector<uint8_t> frame)
{
    // More than 255 pending entries could not all carry an id.
    if (FreeSpace() == 0 || entries_.size() >= 255)
        return std::nullopt;
    uint8_t id = lastId_;
    do
    {
        id = static_cast<uint8_t>(id == 255 ? 1 : id + 1);
    } while (Contains(id));
    lastId_ = id;
    entries_.push_back({id, std::move(frame)});
    return id;
}

bool Mailbox::Contains(uint8_t id) const
{
    return std::any_of(entries_.begin(), entries_.end(), [id](const MailboxEntry &e) { return e.id == id; });
}

bool Mailbox::Remove(uint8_t id)
{
    auto it = std::find_if(entries_.begin(), entries_.end(), [id](const MailboxEntry &e) { return e.id == id; });
    if (it == entries_.end())
        return false;
    entries_.erase(it);
    return true;
}

} // namespace ModemEmu
