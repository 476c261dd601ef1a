#ifndef MODEMEMU_MODEMPARAMS_H
#define MODEMEMU_MODEMPARAMS_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ModemEmu
{

enum ParamId : uint8_t
{
    ParamHwVersion = 1,
    ParamDescription = 2,
    ParamSwVersion = 3,
    ParamSerial = 4,
    ParamManufacturer = 10,
    ParamId = 11,
    ParamIdVersion = 12,
    ParamIdType = 13,
    ParamMode = 20,
    ParamChannel = 21,
    ParamPower = 22,
    ParamFrameFormat = 23,
    ParamPreamble = 24,
    ParamMailboxSize = 25,
    ParamStatsFrame = 50,
    ParamStatsPreamble = 51,
    ParamStatsSync = 52,
    ParamStatsCrcErr = 53
};

// Status byte of a command answer (01 status n data). 0 is success; the rest
// are our modem's own codes, so that a test can tell which rule refused.
enum AnswerStatus : uint8_t
{
    StatusOk = 0,
    StatusUnknown = 1,     // unknown parameter id or command
    StatusBadFormat = 2,   // request length or data length wrong
    StatusReadOnly = 3,    // parameter cannot be written
    StatusMailboxFull = 4, // no room for "mbox add"
    StatusNoMessage = 5    // "mbox del" of an id that is not pending
};

// The modem's identity as the driver reads it at start-up.
struct ModemIdentity
{
    std::string hwVersion = "HW 2.1";
    std::string description = "Emulated wM-Bus modem 169MHz";
    std::string swVersion = "01.01.07";
    std::string serial = "EMU00001";
    uint16_t manufacturer = 0x6AD2;
    uint32_t id = 0x00112233;
    uint8_t version = 0x01;
    uint8_t type = 0x31;
    uint8_t mode = 4;
    uint8_t channel = 1;
};

struct ParamAnswer
{
    uint8_t status;
    std::vector<uint8_t> data;
};

// The modem's parameter table, ids 0 to 53. Only the named ids exist; the
// radio settings 20-24 are writable over the line, the rest only from a test.
class ModemParams
{
public:
    ModemParams();

    void SetIdentity(const ModemIdentity &identity);

    ParamAnswer Read(uint8_t id) const;
    uint8_t Write(uint8_t id, const std::vector<uint8_t> &data);

    // Configuration from the test side; they accept any named id.
    void Set(uint8_t id, std::vector<uint8_t> value);
    void SetText(uint8_t id, const std::string &text);
    // Little endian, `width` bytes (1 to 4).
    void SetNumber(uint8_t id, uint32_t value, int width);
    const std::vector<uint8_t> &Get(uint8_t id) const;
    uint32_t GetNumber(uint8_t id) const;
    // Every later read or write of `id` is answered with this status (0 undoes it).
    void ForceStatus(uint8_t id, uint8_t status);

    static bool Exists(uint8_t id);
    static bool Writable(uint8_t id);

private:
    std::map<uint8_t, std::vector<uint8_t>> values_;
    std::map<uint8_t, uint8_t> forced_;
};

} // namespace ModemEmu

#endif
