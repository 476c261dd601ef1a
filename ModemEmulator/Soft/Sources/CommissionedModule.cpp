#include "CommissionedModule.h"

#include "ByteCursor.h"

#include <algorithm>
#include <stdexcept>

namespace ModemEmu
{

namespace
{

constexpr uint8_t kFiller = 0x2F;
constexpr uint8_t kExtensionBit = 0x80;
constexpr size_t kMaxExtensions = 10;
constexpr uint8_t kLvarTextLimit = 0xC0; // larger length bytes are BCD and binary codings we do not hold

struct AnswerCi
{
    uint8_t request;
    uint8_t answer;
};

constexpr AnswerCi kAnswerCis[] = {{0xA0, 0xA1}, {0xA2, 0xA3}, {0xA6, 0xA7}, {0xA8, 0xA9}};

const AnswerCi *FindAnswerCi(uint8_t request)
{
    for (const AnswerCi &entry : kAnswerCis)
    {
        if (entry.request == request)
            return &entry;
    }
    return nullptr;
}

struct ValueLength
{
    uint8_t dataField;
    int bytes; // -1: a length byte says; -2: everything that is left
};

constexpr ValueLength kValueLengths[] = {
    {0x0, 0}, {0x1, 1}, {0x2, 2}, {0x3, 3}, {0x4, 4}, {0x5, 4},  {0x6, 6}, {0x7, 8},
    {0x8, 0}, {0x9, 1}, {0xA, 2}, {0xB, 3}, {0xC, 4}, {0xD, -1}, {0xE, 6}, {0xF, -2},
};

int ValueBytes(uint8_t dif)
{
    for (const ValueLength &entry : kValueLengths)
    {
        if (entry.dataField == (dif & 0x0F))
            return entry.bytes;
    }
    return 0;
}

bool ReadExtensions(ByteCursor &cursor, uint8_t first, std::vector<uint8_t> &key)
{
    uint8_t byte = first;
    for (size_t count = 0; byte & kExtensionBit; ++count)
    {
        if (count == kMaxExtensions || !cursor.ReadByte(byte))
            return false;
        key.push_back(byte);
    }
    return true;
}

// Reads one record; false when it is cut or of a coding the module does not hold.
bool ReadRecord(ByteCursor &cursor, ModuleRecord &record)
{
    uint8_t dif = 0;
    uint8_t vif = 0;
    if (!cursor.ReadByte(dif))
        return false;
    record.key = {dif};
    const int length = ValueBytes(dif);
    if (length == -2)
    {
        record.value = cursor.Rest();
        return true;
    }
    if (!ReadExtensions(cursor, dif, record.key) || !cursor.ReadByte(vif))
        return false;
    record.key.push_back(vif);
    if (!ReadExtensions(cursor, vif, record.key))
        return false;
    if (length >= 0)
        return cursor.ReadBytes(static_cast<size_t>(length), record.value);
    uint8_t lvar = 0;
    if (!cursor.ReadByte(lvar) || lvar >= kLvarTextLimit || !cursor.ReadBytes(lvar, record.value))
        return false;
    record.value.insert(record.value.begin(), lvar);
    return true;
}

// The records of a payload, fillers left out; what cannot be read as records
// is kept as one keyless record and echoed as it came.
std::vector<ModuleRecord> ReadRecords(const std::vector<uint8_t> &payload)
{
    std::vector<ModuleRecord> records;
    ByteCursor cursor(payload);
    while (cursor.Remaining() > 0)
    {
        const size_t start = cursor.Position();
        if (payload[start] == kFiller)
        {
            cursor.Skip(1);
            continue;
        }
        ModuleRecord record;
        if (!ReadRecord(cursor, record))
        {
            records.push_back({{}, std::vector<uint8_t>(payload.begin() + static_cast<long>(start), payload.end())});
            break;
        }
        records.push_back(std::move(record));
    }
    return records;
}

void AppendRecord(std::vector<uint8_t> &out, const std::vector<uint8_t> &key, const std::vector<uint8_t> &value)
{
    out.insert(out.end(), key.begin(), key.end());
    out.insert(out.end(), value.begin(), value.end());
}

RadioHeader AnswerHeader(const RadioAddress &from, uint8_t ci, uint8_t access)
{
    RadioHeader header;
    header.c = 0x08; // RSP-UD
    header.id = static_cast<uint32_t>(from[0] | from[1] << 8 | from[2] << 16 | static_cast<uint32_t>(from[3]) << 24);
    header.manufacturer = static_cast<uint16_t>(from[4] | from[5] << 8);
    header.version = from[6];
    header.type = from[7];
    header.ci = ci;
    header.access = access;
    return header;
}

void Spoil(ModuleAnswer answer, std::vector<uint8_t> &data)
{
    switch (answer)
    {
    case ModuleAnswer::Wrong:
    case ModuleAnswer::Impostor:
        if (data.empty())
            data.push_back(0xFF);
        else
            data.back() = static_cast<uint8_t>(~data.back());
        break;
    case ModuleAnswer::Short:
        data.resize(data.size() / 2);
        break;
    case ModuleAnswer::Empty:
        data.clear();
        break;
    case ModuleAnswer::Extended:
        data.insert(data.end(), {0x0F, 0x5A, 0xA5});
        break;
    case ModuleAnswer::Normal:
    case ModuleAnswer::Late:
    case ModuleAnswer::None:
        break;
    }
}

} // namespace

CommissionedModule::CommissionedModule(CommissionedConfig config) : config_(std::move(config))
{
    for (const ModuleRecord &record : ReadRecords(config_.configuration))
    {
        if (record.key.empty())
            throw std::invalid_argument("the module's configuration must be whole records");
        Store(record);
    }
}

void CommissionedModule::Start(RadioWorld &world)
{
    nextBeacon_ = world.Now() + config_.beaconFirstDelay;
}

void CommissionedModule::Tick(RadioWorld &world)
{
    if (config_.beaconPeriod.count() <= 0 || world.Now() < nextBeacon_)
        return;
    nextBeacon_ = world.Now() + config_.beaconPeriod;
    RadioHeader header = AnswerHeader(config_.address, 0x7A, access_++);
    world.Transmit(RadioFrame::Build(header, config_.beaconData), config_.signal);
}

void CommissionedModule::OnHostFrame(const HostRadioFrame &frame, RadioWorld &world)
{
    std::vector<ModuleRecord> records;
    ModuleRequest request = Open(frame, records);
    std::lock_guard<std::mutex> lock(mutex_);
    const ModuleAnswer answer = AnswerFor(requests_.size());
    const AnswerCi *ci = FindAnswerCi(request.ci);
    if (request.decrypted && ci != nullptr)
    {
        std::vector<uint8_t> data = AnswerData(request.ci, records);
        if (answer != ModuleAnswer::None)
        {
            try
            {
                std::chrono::milliseconds delay = config_.answerDelay;
                if (answer == ModuleAnswer::Impostor)
                {
                    RadioAddress other = config_.address;
                    other[0] = static_cast<uint8_t>(other[0] ^ 0x01);
                    std::vector<uint8_t> wrong = data;
                    Spoil(ModuleAnswer::Impostor, wrong);
                    world.Transmit(AirFrame(other, ci->answer, access_++, wrong), config_.signal, delay);
                    delay += config_.answerDelay;
                }
                else
                {
                    Spoil(answer, data);
                }
                std::vector<uint8_t> airFrame = AirFrame(config_.address, ci->answer, access_++, data);
                if (answer == ModuleAnswer::Late)
                {
                    lateAnswers_.push_back(std::move(airFrame));
                }
                else
                {
                    for (const std::vector<uint8_t> &late : lateAnswers_)
                    {
                        world.Transmit(late, config_.signal, delay);
                        delay += config_.answerDelay;
                    }
                    lateAnswers_.clear();
                    world.Transmit(airFrame, config_.signal, delay);
                }
                request.answered = true;
            }
            catch (const std::exception &)
            {
                // An answer too long for one frame is not sent; the request shows it as unanswered.
            }
        }
    }
    requests_.push_back(std::move(request));
}

ModuleRequest CommissionedModule::Open(const HostRadioFrame &frame, std::vector<ModuleRecord> &records) const
{
    ModuleRequest request;
    const std::optional<HeaderLayout> layout = RadioFrame::Layout(frame.bytes);
    if (!layout)
        return request;
    request.ci = frame.bytes[10];
    if (layout->access != 0)
        request.access = frame.bytes[layout->access];
    try
    {
        const std::vector<uint8_t> open = RadioFrame::DecryptMode5(frame.bytes, config_.key);
        const size_t blocks = frame.bytes[layout->config] >> 4;
        request.plain.assign(open.begin() + static_cast<long>(layout->data),
                             open.begin() + static_cast<long>(layout->data + blocks * 16));
    }
    catch (const std::exception &)
    {
        return request;
    }
    // A wrong key shows as data that do not start with the two fillers.
    request.decrypted = request.plain.size() >= 2 && request.plain[0] == kFiller && request.plain[1] == kFiller;
    if (request.decrypted)
    {
        records = ReadRecords({request.plain.begin() + 2, request.plain.end()});
        for (const ModuleRecord &record : records)
            AppendRecord(request.records, record.key, record.value);
    }
    return request;
}

std::vector<uint8_t> CommissionedModule::AnswerData(uint8_t ci, const std::vector<ModuleRecord> &records)
{
    std::vector<uint8_t> data;
    const auto append = [this, &data](const std::vector<uint8_t> &key, const std::vector<uint8_t> &value)
    {
        data.insert(data.end(), config_.answerFillers, kFiller);
        AppendRecord(data, key, value);
    };
    switch (ci)
    {
    case 0xA0:
        if (records.empty())
        {
            for (const ModuleRecord &held : held_)
                append(held.key, held.value);
            break;
        }
        for (const ModuleRecord &record : records)
        {
            const auto held =
                std::find_if(held_.begin(), held_.end(), [&](const ModuleRecord &r) { return r.key == record.key; });
            append(record.key, held != held_.end() && !record.key.empty() ? held->value : record.value);
        }
        break;
    case 0xA2:
        for (const ModuleRecord &record : records)
        {
            if (!record.key.empty())
                Store(record);
            append(record.key, record.value);
        }
        break;
    case 0xA6:
        return config_.logs;
    default: // the missing-frame request is answered with its own records
        for (const ModuleRecord &record : records)
            append(record.key, record.value);
        break;
    }
    data.insert(data.end(), config_.answerFillers, kFiller);
    return data;
}

void CommissionedModule::Store(const ModuleRecord &record)
{
    const auto held =
        std::find_if(held_.begin(), held_.end(), [&](const ModuleRecord &r) { return r.key == record.key; });
    if (held != held_.end())
        held->value = record.value;
    else
        held_.push_back(record);
}

std::vector<uint8_t> CommissionedModule::AirFrame(const RadioAddress &from, uint8_t ci, uint8_t access,
                                                  const std::vector<uint8_t> &data) const
{
    const RadioHeader header = AnswerHeader(from, ci, access);
    if (!config_.encryptAnswers)
        return RadioFrame::Build(header, data);
    std::vector<uint8_t> plain{kFiller, kFiller};
    plain.insert(plain.end(), data.begin(), data.end());
    return RadioFrame::EncryptMode5(RadioFrame::Build(header, plain), config_.key);
}

ModuleAnswer CommissionedModule::AnswerFor(size_t request) const
{
    const auto found = answerFor_.find(request);
    return found != answerFor_.end() ? found->second : answer_;
}

void CommissionedModule::SetAnswer(ModuleAnswer answer)
{
    std::lock_guard<std::mutex> lock(mutex_);
    answer_ = answer;
}

void CommissionedModule::SetAnswerFor(size_t request, ModuleAnswer answer)
{
    std::lock_guard<std::mutex> lock(mutex_);
    answerFor_[request] = answer;
}

std::vector<ModuleRequest> CommissionedModule::Requests() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::vector<uint8_t> CommissionedModule::Configuration() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<uint8_t> out;
    for (const ModuleRecord &held : held_)
        AppendRecord(out, held.key, held.value);
    return out;
}

} // namespace ModemEmu
