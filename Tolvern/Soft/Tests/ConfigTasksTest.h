#ifndef TOLV_TESTS_CONFIGTASKSTEST_H
#define TOLV_TESTS_CONFIGTASKSTEST_H

// The built program against the modem emulator with a commissioned module at
// the default address, 0x12345678d26a0107, that holds the default key.
#include "CommissionedModule.h"
#include "EmulatorTest.h"
#include "HexBytes.h"

#include <memory>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

inline const std::string TasksFixtures = std::string(TOLV_FIXTURES_DIR) + "/config_tasks";
inline const std::string TemplateDir = TasksFixtures + "/templates";
inline const std::string ConfigDir = TasksFixtures + "/config";

// A template of the sensor type whose text `from` is replaced by `to`.
inline std::string SensorTemplateWith(const std::string &from, const std::string &to)
{
    std::string text = ReadFile(TemplateDir + "/sensor.xml");
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
}

class ConfigTasksTest : public EmulatorTest
{
protected:
    // The module holds send_period 120 and mode 1 until something is written.
    static ModemEmu::CommissionedConfig ModuleConfig()
    {
        ModemEmu::CommissionedConfig config;
        config.configuration = ModemEmu::ParseHex("04 FD 3A 78 00 00 00 01 FD 0E 01");
        config.logs = ModemEmu::ParseHex("04 6D 1E 0A 41 2C 02 FD 17 05 00");
        return config;
    }

    // delivery Immediate: a request reaches the module at once and nothing but
    // its answers goes on the air, so what the program prints is fixed.
    void StartModem(ModemEmu::CommissionedConfig config,
                    ModemEmu::MailboxDelivery delivery = ModemEmu::MailboxDelivery::Immediate)
    {
        ModemEmu::CoreConfig core;
        core.delivery = delivery;
        modem.SetConfig(core);
        module = std::make_shared<ModemEmu::CommissionedModule>(std::move(config));
        modem.AddModule(module);
        modem.Start();
    }

    // Runs without waiting for a first frame; error lines without their line numbers.
    ProgramRun Run(const std::string &args) { return EmulatorTest::Run("--nowait " + args); }
    static std::string Config(const std::string &name) { return ConfigDir + "/" + name; }
    static std::string Templates() { return "-t " + TemplateDir + " --id zv_sensor_02 "; }

    // The decrypted data of a request: 2F 2F, the payload, fillers to whole blocks.
    static Bytes Plain(const std::string &payloadHex)
    {
        Bytes plain = ModemEmu::ParseHex("2F 2F " + payloadHex);
        while (plain.size() % 16 != 0)
        {
            plain.push_back(0x2F);
        }
        return plain;
    }

    std::vector<ModemEmu::ModuleRequest> Requests() const { return module->Requests(); }

    std::shared_ptr<ModemEmu::CommissionedModule> module;
};

#endif
