#ifndef MODEMEMU_MODULEGROUP_H
#define MODEMEMU_MODULEGROUP_H

#include "ScriptedModule.h"

#include <memory>
#include <vector>

namespace ModemEmu
{

// Several scripted modules at one address, played as one radio module: the commissioned
// module that also takes a firmware update, say. Every frame for the address reaches each
// member, and mail waiting for the address goes out when any member transmits.
class ModuleGroup : public ScriptedModule
{
public:
    // Throws std::invalid_argument for an empty group or members at different addresses.
    explicit ModuleGroup(std::vector<std::shared_ptr<ScriptedModule>> members);

    std::string Name() const override;
    RadioAddress Address() const override { return members_.front()->Address(); }
    bool AcceptsUnaddressed() const override;
    void Start(RadioWorld &world) override;
    void Tick(RadioWorld &world) override;
    void OnHostFrame(const HostRadioFrame &frame, RadioWorld &world) override;

    // The modules in the order given, each grouped with those after it at the same address.
    static std::vector<std::shared_ptr<ScriptedModule>> ByAddress(
        const std::vector<std::shared_ptr<ScriptedModule>> &modules);

private:
    std::vector<std::shared_ptr<ScriptedModule>> members_;
};

} // namespace ModemEmu

#endif
