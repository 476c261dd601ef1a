#include "WMBC_ZV_Interface.h"

#include "Gpio.h"
#include "Led.h"
#include "Serial.h"
#include "System.h"
#include "SystemRoot.h"
#include "WMBC_Log.h"
#include "WMBC_MailboxWait.h"
#include "WMBC_ZV.h"
#include "WMBH_HexText.h"

#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace WMBusMod
{

namespace
{

constexpr int kInitTries = 5;
// The version the gateway expects when it names none.
constexpr const char *kDefaultReferenceVersion = "01.01";
constexpr size_t kVersionLength = 5;
constexpr int kMinReceiveBuffer = 255;
// The LED that flashes for every received frame.
constexpr const char *kReceiveLed = "2";

struct ModuleTypeWord
{
    const char *word;
    const char *logText;
    int type;
};

constexpr ModuleTypeWord kModuleTypes[] = {
    {"zelvir169", "RF module: Zelvir 169MHz", WMBC_ZV_Interface::Module169MHz},
    {"zelvir868", "RF module: Zelvir 868MHz", WMBC_ZV_Interface::Module868MHz},
};

const ModuleTypeWord *FindModuleType(const std::string &word)
{
    for (const ModuleTypeWord &entry : kModuleTypes)
    {
        if (word == entry.word)
        {
            return &entry;
        }
    }
    return nullptr;
}

// Radio modes each module accepts: the 868 MHz module its own, every other type the 169 MHz ones.
struct ModeRule
{
    bool module868;
    int mode;
};

constexpr ModeRule kModeRules[] = {{true, 0}, {true, 1},  {true, 2},  {true, 3},
                                   {true, 6}, {false, 4}, {false, 5}, {false, 6}};

constexpr int kFirstRfChannel = 1;
constexpr int kLastRfChannel = 10;

constexpr uint8_t kStatsParams[] = {ParamStatsFrame, ParamStatsPreamble, ParamStatsSyncAddr, ParamStatsCrcErr};

// The version the gateway wants the modem to run; short or missing lines mean the default.
std::string ReferenceVersion()
{
    std::string line = ReadFirstLine(SystemPath("/APP/rf_module_version"));
    return line.size() < kVersionLength ? std::string(kDefaultReferenceVersion) : line;
}

void SetLine(const GpioLines *gpio, size_t index, int value)
{
    if (gpio != nullptr && (*gpio)[index] != nullptr)
    {
        (*gpio)[index]->SetValue(value);
    }
}

// Reset line A and boot line B of the holder.
constexpr size_t kLineA = 0;
constexpr size_t kLineB = 3;

// The serial read lock of the flashing steps, released and the port flushed however they end.
class ReaderPause
{
public:
    explicit ReaderPause(WMBC_ZV &link) : link(link) { link.LockSerialRead(); }
    ~ReaderPause()
    {
        link.UnlockSerialRead();
        try
        {
            link.FlushSerial();
        }
        catch (const std::exception &e)
        {
            WMBC_WARNING("Flush failed: " << e.what());
        }
    }
    ReaderPause(const ReaderPause &) = delete;
    ReaderPause &operator=(const ReaderPause &) = delete;

private:
    WMBC_ZV &link;
};

} // namespace

WMBC_ZV_Interface::WMBC_ZV_Interface()
{
    const ModuleTypeWord *type = FindModuleType(ReadFirstLine(SystemPath("/APP/rf_module_type")));
    if (type != nullptr)
    {
        WMBC_DEBUG(type->logText);
        rfModuleType = type->type;
    }
    else
    {
        WMBC_WARNING("unknown RF module");
    }
}

WMBC_ZV_Interface::~WMBC_ZV_Interface() = default;

bool WMBC_ZV_Interface::AcceptsMode(int moduleType, int mode)
{
    const bool module868 = moduleType == Module868MHz;
    for (const ModeRule &rule : kModeRules)
    {
        if (rule.module868 == module868 && rule.mode == mode)
        {
            return true;
        }
    }
    return false;
}

bool WMBC_ZV_Interface::AcceptsChannel(int moduleType, int channel)
{
    return moduleType == Module169MHz && channel >= kFirstRfChannel && channel <= kLastRfChannel;
}

WMBC_ZV &WMBC_ZV_Interface::Link()
{
    if (!link)
    {
        throw std::runtime_error("modem not initialised");
    }
    return *link;
}

std::string WMBC_ZV_Interface::FlashCommand(const std::string &deviceName)
{
    return "stm32flash -b 115200 -w /APP/wmbus_firmware -v -e 512 -R " + deviceName;
}

bool WMBC_ZV_Interface::ProbeVersion()
{
    for (int attempt = 0; attempt < kInitTries; ++attempt)
    {
        WMBC_TRACE("Try to the get the firmware version");
        try
        {
            link->GetConfigString(ParamSwVersion, softwareVersion);
            return true;
        }
        catch (const std::exception &e)
        {
            WMBC_TRACE("Get software version failed: " << e.what());
        }
        catch (...)
        {
        }
        if (link->LineLost())
        {
            break;
        }
    }
    return false;
}

void WMBC_ZV_Interface::FlashModem(Serial &serial, const GpioLines *gpio)
{
    const std::string reference = ReferenceVersion();
    ReaderPause pause(*link);
    WMBC_DEBUG("firmware update is needed current: "
               << ">>" << softwareVersion << "<<"
               << " new: >>" << reference << "<<");
    SetLine(gpio, kLineA, 1);
    SetLine(gpio, kLineB, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    SetLine(gpio, kLineB, 0);

    const std::string command = FlashCommand(serial.GetDeviceName());
    WMBC_DEBUG("cmd: " << command);
    const std::string trace = Exec(command);
    WMBC_DEBUG("update trace: " << trace);

    SetLine(gpio, kLineA, 0);
    SetLine(gpio, kLineB, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    SetLine(gpio, kLineB, 0);
}

void WMBC_ZV_Interface::ReadIdentity()
{
    link->GetConfigString(ParamModuleDesc, description);
    link->GetConfigString(ParamSwVersion, softwareVersion);
    link->GetConfigString(ParamHwVersion, hardwareVersion);
    link->GetConfigString(ParamSerialNr, serialNumber);
    link->GetConfigUInt32(ParamMboxSize, mailboxSize);

    link->GetConfigUInt16(ParamIdManuf, manufacturer);
    link->GetConfigUInt32(ParamId, id);
    link->GetConfigByte(ParamIdVersion, version);
    link->GetConfigByte(ParamIdType, deviceType);
}

void WMBC_ZV_Interface::Init(Serial &serial, const GpioLines *gpio, bool checkFirmware)
{
    link.reset();
    // Looked up once: a machine without the LED must not pay for failed opens on every frame.
    receiveLedPresent = Led::Exists(kReceiveLed);
    link = std::make_unique<WMBC_ZV>(serial);

    const bool answered = ProbeVersion();
    bool flash = !answered;
    if (answered && checkFirmware)
    {
        const std::string reference = ReferenceVersion();
        flash = !(reference.size() == kVersionLength && softwareVersion.compare(0, kVersionLength, reference) == 0);
    }
    if (flash)
    {
        FlashModem(serial, gpio);
    }

    bool identified = false;
    // A modem that answers with numbers of the wrong size does answer: that is what went wrong.
    std::string wrongSize;
    for (int attempt = 1; attempt <= kInitTries && !identified && !link->LineLost(); ++attempt)
    {
        try
        {
            ReadIdentity();
            identified = true;
        }
        catch (const WrongResponseSize &e)
        {
            WMBC_TRACE("Get module info failed: " << e.what());
            wrongSize = e.what();
        }
        catch (const std::exception &e)
        {
            WMBC_TRACE("Get module info failed: " << e.what());
            wrongSize.clear();
        }
        catch (...)
        {
            if (attempt == kInitTries)
            {
                throw;
            }
        }
    }
    if (!identified)
    {
        // Empty texts and zero numbers would pass for the modem's identity.
        if (link->LineLost())
        {
            throw ModemDisconnected();
        }
        throw std::runtime_error(wrongSize.empty() ? std::string("modem not responding") : wrongSize);
    }

    WMBC_DEBUG("Module: " << description << ", soft v: " << softwareVersion << ", hw v: " << hardwareVersion
                          << ", serial:" << serialNumber);
    WMBC_DEBUG("Manuf: " << std::hex << manufacturer << ", id: " << id << ", version: " << unsigned(version)
                         << ", type: " << unsigned(deviceType));
}

void WMBC_ZV_Interface::Close()
{
    if (link)
    {
        link->RequestStop();
        link->Join();
    }
}

void WMBC_ZV_Interface::Noop() {}

void WMBC_ZV_Interface::SetRadioMode(int mode)
{
    WMBC_DEBUG("set mode " << mode);
    if (!AcceptsMode(rfModuleType, mode))
    {
        WMBC_WARNING("mode " << mode << " not supported");
        return;
    }
    const uint8_t value = uint8_t(mode);
    Link().WriteConfigIfChanged(ParamMode, &value, 1);
}

void WMBC_ZV_Interface::SetLongPreamble(uint8_t value)
{
    WMBC_DEBUG("set long preamble");
    Link().WriteConfigIfChanged(ParamPreambleLen, &value, 1);
}

void WMBC_ZV_Interface::SetRfChannel(int channel)
{
    WMBC_DEBUG("set rf channel " << channel);
    if (rfModuleType != Module169MHz)
    {
        WMBC_WARNING("SetRfChannel not supported");
        return;
    }
    if (channel < kFirstRfChannel || channel > kLastRfChannel)
    {
        return;
    }
    const uint8_t value = uint8_t(channel);
    Link().WriteConfigIfChanged(ParamChannel, &value, 1);
}

ModuleAddress WMBC_ZV_Interface::GetModuleAddress() const
{
    return ModuleAddress(manufacturer) | ModuleAddress(id) << 16 | ModuleAddress(version) << 48 |
           ModuleAddress(deviceType) << 56;
}

void WMBC_ZV_Interface::GetStats(ModemStats *stats)
{
    if (stats == nullptr)
    {
        return;
    }
    uint32_t *counters[] = {&stats->receivedFrames, &stats->detectedPreambles, &stats->syncAddresses,
                            &stats->crcErrors};
    for (size_t i = 0; i < sizeof kStatsParams; ++i)
    {
        Link().GetConfigUInt32(kStatsParams[i], *counters[i]);
    }
}

void WMBC_ZV_Interface::ReceiveFrame(uint8_t *buffer, int &size, int timeoutMs)
{
    const int capacity = size;
    size = 0;
    if (buffer == nullptr || capacity < kMinReceiveBuffer || !link)
    {
        return;
    }
    WMBC_ZV_Frame frame;
    if (!link->WaitChannelFrame(ChannelData, frame, timeoutMs))
    {
        if (link->LineLost())
        {
            // Every frame that came before has been handed out; waiting on would never end.
            throw ModemDisconnected();
        }
        return;
    }
    // Frames on the queue came through ReadFrame, which refuses L below 3, so the payload holds
    // 0 to 252 bytes and fits the 255 bytes checked above with its two markers.
    const int payload = std::max(0, std::min(frame.GetDataLength(), capacity - 2));
    if (receiveLedPresent)
    {
        Led led(kReceiveLed);
        led.On();
    }
    buffer[0] = 0x68;
    std::copy(frame.GetData(), frame.GetData() + payload, buffer + 1);
    buffer[payload + 1] = 0x16;
    size = payload + 2;
    WMBC_TRACE(DataToHex(buffer, size_t(size)));
}

void WMBC_ZV_Interface::SendFrame(const uint8_t *frame, int length)
{
    WMBC_TRACE("SendFrame");
    WMBC_ZV_Frame request(KindData);
    request.Init(KindData);
    request.Append(frame, length);
    request.SetChannel(ChannelData);
    Link().SendWithAck(request);
}

uint8_t WMBC_ZV_Interface::MessageId(int messageId)
{
    if (messageId < 0 || messageId > 255)
    {
        WMBC_WARNING("Message id to large (" << messageId << ")");
    }
    return uint8_t(messageId & 0xFF);
}

int WMBC_ZV_Interface::SndToMailbox(const uint8_t *frame, int length)
{
    WMBC_TRACE("SendFrame");
    WMBC_ZV_Frame request;
    request.SetRequest(CmdMboxAdd, frame, length);
    const std::vector<uint8_t> data = Link().Command(request, "SndToMailbox res: ", "cmd failed");
    if (data.size() != 1)
    {
        throw std::runtime_error("size error");
    }
    return data[0];
}

bool WMBC_ZV_Interface::CheckMailbox(int messageId)
{
    WMBC_TRACE("CheckMailbox " << messageId);
    const uint8_t idByte = MessageId(messageId);
    WMBC_ZV_Frame request;
    request.SetRequest(CmdMboxCheck, &idByte, 1);
    const std::vector<uint8_t> data = Link().Command(request, "CheckMailbox res: ", "cmd failed");
    if (data.size() != 1)
    {
        throw std::runtime_error("size error");
    }
    return data[0] == 0;
}

void WMBC_ZV_Interface::DelMailbox(int messageId)
{
    WMBC_TRACE("DelMailbox " << messageId);
    const uint8_t idByte = MessageId(messageId);
    WMBC_ZV_Frame request;
    request.SetRequest(CmdMboxDel, &idByte, 1);
    Link().Command(request, "DelMailbox res: ", "cmd failed");
}

bool WMBC_ZV_Interface::IsMailboxFull()
{
    return IsReqQueueFull() == 0;
}

uint8_t WMBC_ZV_Interface::IsReqQueueFull()
{
    WMBC_TRACE("IsReqQueueFull");
    WMBC_ZV_Frame request;
    request.SetRequest(CmdMboxGet, nullptr, 0);
    const std::vector<uint8_t> data = Link().Command(request, "IsReqQueueF res: ", "cmd id failure");
    if (data.size() != 1)
    {
        WMBC_ERROR("Wrong response size " << data.size());
        throw std::runtime_error("wrong response size");
    }
    WMBC_TRACE("Free msg queue space: " << unsigned(data[0]));
    return data[0];
}

bool WMBC_ZV_Interface::WaitMailboxSpace(unsigned seconds)
{
    return WaitWhileMailboxFull([this] { return IsMailboxFull(); },
                                []
                                {
                                    WMBC_TRACE("The mailbox is full, wait...");
                                    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
                                },
                                seconds);
}

} // namespace WMBusMod
