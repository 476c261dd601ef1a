#include "ModuleGroup.h"

#include <algorithm>
#include <stdexcept>

namespace ModemEmu
{

ModuleGroup::ModuleGroup(std::vector<std::shared_ptr<ScriptedModule>> members) : members_(std::move(members))
{
    if (members_.empty())
        throw std::invalid_argument("a module group needs a member");
    for (const auto &member : members_)
    {
        if (member->Address() != members_.front()->Address())
            throw std::invalid_argument("the members of a module group share one address");
    }
}

std::string ModuleGroup::Name() const
{
    std::string name;
    for (const auto &member : members_)
        name += (name.empty() ? "" : " + ") + member->Name();
    return name;
}

bool ModuleGroup::AcceptsUnaddressed() const
{
    return std::any_of(members_.begin(), members_.end(),
                       [](const std::shared_ptr<ScriptedModule> &member) { return member->AcceptsUnaddressed(); });
}

void ModuleGroup::Start(RadioWorld &world)
{
    for (const auto &member : members_)
        member->Start(world);
}

void ModuleGroup::Tick(RadioWorld &world)
{
    for (const auto &member : members_)
        member->Tick(world);
}

void ModuleGroup::OnHostFrame(const HostRadioFrame &frame, RadioWorld &world)
{
    // An unaddressed frame reaches only the members that take such frames.
    for (const auto &member : members_)
    {
        if (frame.destination || member->AcceptsUnaddressed())
            member->OnHostFrame(frame, world);
    }
}

std::vector<std::shared_ptr<ScriptedModule>> ModuleGroup::ByAddress(
    const std::vector<std::shared_ptr<ScriptedModule>> &modules)
{
    std::vector<std::shared_ptr<ScriptedModule>> result;
    std::vector<bool> taken(modules.size(), false);
    for (size_t i = 0; i < modules.size(); ++i)
    {
        if (taken[i])
            continue;
        std::vector<std::shared_ptr<ScriptedModule>> members{modules[i]};
        for (size_t j = i + 1; j < modules.size(); ++j)
        {
            if (!taken[j] && modules[j]->Address() == modules[i]->Address())
            {
                members.push_back(modules[j]);
                taken[j] = true;
            }
        }
        if (members.size() == 1)
            result.push_back(modules[i]);
        else
            result.push_back(std::make_shared<ModuleGroup>(std::move(members)));
    }
    return result;
}

} // namespace ModemEmu
