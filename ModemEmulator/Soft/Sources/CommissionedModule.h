#ifndef MODEMEMU_COMMISSIONEDMODULE_H
#define MODEMEMU_COMMISSIONEDMODULE_H

#include "ScriptedModule.h"

#include <map>
#include <mutex>

namespace ModemEmu
{

// How the module answers a request; anything but Normal stands for a module
// or a radio path that misbehaves.
enum class ModuleAnswer
{
    Normal,
    Wrong,    // the last data byte of the answer inverted
    Short,    // only the first half of the answer's data
    Empty,    // the answer CI with no data at all
    Extended, // the right answer followed by a few bytes more
    Impostor, // first a wrong answer from another module, then the right one
    Late,     // the right answer, held back and sent just before the answer to the next request
    None      // no answer
};

struct CommissionedConfig
{
    std::string name = "commissioned";
    // The module address of Tolvern's default address text 0x12345678d26a0107.
    RadioAddress address = RadioFrame::MakeAddress(0x78563412, 0x6AD2, 0x01, 0x07);
    // Tolvern's default key: requests that use another one cannot be read.
    AesKey key = {0x7C, 0x41, 0xD0, 0x9A, 0x2E, 0x6B, 0x35, 0xF8, 0xA1, 0xC9, 0x4E, 0x07, 0xB2, 0xD6, 0xF3, 0x58};
    // Records (DIB VIB value, back to back) the module holds before any write; a
    // read with an empty payload is answered with all records held.
    std::vector<uint8_t> configuration;
    // Records of the answer to a log request.
    std::vector<uint8_t> logs;
    bool encryptAnswers = true;
    // Idle fillers (2F) the module puts before each record of a configuration or missing-frame
    // answer and after the last one (an encrypted answer starts with its two fillers all the
    // same): EN 13757-3 allows them anywhere between records.
    size_t answerFillers = 0;
    std::chrono::milliseconds answerDelay{20};
    // The module's own frames (C-field 0x08, CI 0x7A, sent plain); it listens
    // right after each. 0 keeps it silent except for its answers.
    std::chrono::milliseconds beaconPeriod{0};
    std::chrono::milliseconds beaconFirstDelay{10};
    std::vector<uint8_t> beaconData = {0x04, 0x13, 0x2C, 0x01, 0x00, 0x00};
    uint8_t signal = 0xC4;
};

// One data record of a request or answer: its DIB and VIB, and its value.
struct ModuleRecord
{
    std::vector<uint8_t> key; // empty for bytes that could not be read as records
    std::vector<uint8_t> value;
};

// One request as it reached the module.
struct ModuleRequest
{
    uint8_t ci = 0;
    uint8_t access = 0;
    // False when the frame was not a mode-5 request the module's key opens; such a request is not answered.
    bool decrypted = false;
    // The data after the transport header, decrypted: 2F 2F, the payload, the fillers up to whole blocks.
    std::vector<uint8_t> plain;
    // The records of the payload as the module read them, fillers left out.
    std::vector<uint8_t> records;
    bool answered = false;
};

// A radio module commissioned with an AES key: it decrypts the maker's
// requests that reach it and answers them (read 0xA0 -> 0xA1 with records,
// write 0xA2 -> 0xA3 echoing the written records, logs 0xA6 -> 0xA7, missing
// frames 0xA8 -> 0xA9 echoing the request). Every request is kept, decrypted,
// for tests to inspect while the emulator runs.
class CommissionedModule : public ScriptedModule
{
public:
    explicit CommissionedModule(CommissionedConfig config);

    std::string Name() const override { return config_.name; }
    RadioAddress Address() const override { return config_.address; }
    void Start(RadioWorld &world) override;
    void Tick(RadioWorld &world) override;
    void OnHostFrame(const HostRadioFrame &frame, RadioWorld &world) override;

    // For every request from now on that has no answer of its own.
    void SetAnswer(ModuleAnswer answer);
    // For the request with this index (0 for the first request that reaches the module).
    void SetAnswerFor(size_t request, ModuleAnswer answer);

    std::vector<ModuleRequest> Requests() const;
    // The records the module holds now, in the order they were first written.
    std::vector<uint8_t> Configuration() const;

private:
    ModuleRequest Open(const HostRadioFrame &frame, std::vector<ModuleRecord> &records) const;
    std::vector<uint8_t> AnswerData(uint8_t ci, const std::vector<ModuleRecord> &records);
    void Store(const ModuleRecord &record);
    std::vector<uint8_t> AirFrame(const RadioAddress &from, uint8_t ci, uint8_t access,
                                  const std::vector<uint8_t> &data) const;
    ModuleAnswer AnswerFor(size_t request) const;

    CommissionedConfig config_;
    mutable std::mutex mutex_; // guards what tests read while the emulator runs
    ModuleAnswer answer_ = ModuleAnswer::Normal;
    std::map<size_t, ModuleAnswer> answerFor_;
    std::vector<ModuleRecord> held_;
    std::vector<std::vector<uint8_t>> lateAnswers_; // air frames held back for the next answer
    std::vector<ModuleRequest> requests_;
    Clock::time_point nextBeacon_{};
    uint8_t access_ = 0x40; // the module numbers its own frames, answers included
};

} // namespace ModemEmu

#endif
