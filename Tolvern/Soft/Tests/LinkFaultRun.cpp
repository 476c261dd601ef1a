#include "LinkFaultRun.h"

#include "ListenProcess.h"
#include "OutputText.h"

#include <future>
#include <sstream>
#include <thread>

const char *const LinkFaultModemInfo = "Tolvern version: 1.8\n"
                                       "Info: Link test modem\n"
                                       "Address: 3707785634126ad2\n"
                                       "Firmware version: 03.02.01\n"
                                       "Hardware version: HW 4.0\n";

const char *const LinkFaultStatistics = "received frames   : 11\n"
                                        "detected preambles: 22\n"
                                        "Sync. address     : 33\n"
                                        "CRC errors        : 44\n";

ModemEmu::ModemIdentity LinkFaultIdentity()
{
    ModemEmu::ModemIdentity identity;
    identity.description = "Link test modem";
    identity.swVersion = "03.02.01";
    identity.hwVersion = "HW 4.0";
    identity.serial = "SER-7";
    identity.manufacturer = 0x6AD2;
    identity.id = 0x78563412;
    identity.version = 0x07;
    identity.type = 0x37;
    identity.mode = 8;
    identity.channel = 9;
    return identity;
}

namespace
{

LinkFaultOutcome RunOne(const LinkFaultCase &c, std::chrono::seconds limit)
{
    ModemEmu::ModemEmulator modem;
    modem.SetIdentity(LinkFaultIdentity());
    modem.SetStats(LinkFaultStats[0], LinkFaultStats[1], LinkFaultStats[2], LinkFaultStats[3]);
    modem.Start();
    if (c.play)
    {
        c.play(modem);
    }

    std::vector<std::string> words{"-p", modem.DevicePath()};
    std::istringstream in(c.args);
    for (std::string word; in >> word;)
    {
        words.push_back(word);
    }
    LinkFaultOutcome outcome;
    const auto start = std::chrono::steady_clock::now();
    ListenProcess run(words);
    if (c.attached)
    {
        const auto end = start + limit;
        while (!modem.HostAttached() && std::chrono::steady_clock::now() < end)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        c.attached(modem);
    }
    outcome.exitCode = run.WaitExit(limit);
    outcome.took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    if (outcome.exitCode == -1)
    {
        run.Kill();
    }
    outcome.out = NoLineNumbers(run.Output());
    modem.Stop();
    outcome.commands = modem.Record().HostCommands();
    outcome.violations = modem.Record().ViolationText();
    return outcome;
}

} // namespace

std::vector<LinkFaultOutcome> RunLinkFaultCases(const std::vector<LinkFaultCase> &cases, std::chrono::seconds limit)
{
    std::vector<std::future<LinkFaultOutcome>> running;
    for (const LinkFaultCase &c : cases)
    {
        running.push_back(std::async(std::launch::async, [&c, limit] { return RunOne(c, limit); }));
    }
    std::vector<LinkFaultOutcome> outcomes;
    for (auto &result : running)
    {
        outcomes.push_back(result.get());
    }
    return outcomes;
}
