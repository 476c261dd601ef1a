#include "WMBC_ZV_Frame.h"

#include "Serial.h"
#include "WMBC_Log.h"
#include "WMBH_HexText.h"
#include "mbus-crc16.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iomanip>
#include <sstream>
#include <stdexcept>

namespace WMBusMod
{

namespace
{

struct NamedValue
{
    unsigned value;
    const char *name;
};

constexpr NamedValue kKindNames[] = {{KindData, "dat"}, {KindAck, "ack"}, {KindNak, "nak"}, {KindUndefined, "und"}};

constexpr NamedValue kChannelNames[] = {
    {ChannelCtrl, "ctrl"}, {ChannelData, "dat"}, {ChannelEvent, "evt"}, {ChannelUndefined, "und"}};

constexpr NamedValue kCommandNames[] = {
    {CmdNone, "none"},        {CmdAck, "ack"},          {CmdRead, "read"},        {CmdWrite, "write"},
    {CmdMboxAdd, "mbox add"}, {CmdMboxDel, "mbox del"}, {CmdMboxGet, "mbox get"}, {CmdMboxCheck, "mbox check"}};

// Ids 0 to 53; the ids missing here have the empty name.
constexpr NamedValue kParamNames[] = {{ParamNone, "none"},
                                      {ParamHwVersion, "hw version"},
                                      {ParamModuleDesc, "module desc."},
                                      {ParamSwVersion, "sw version"},
                                      {ParamSerialNr, "serial nr."},
                                      {ParamIdManuf, "id manuf."},
                                      {ParamId, "id"},
                                      {ParamIdVersion, "id version"},
                                      {ParamIdType, "id type"},
                                      {ParamMode, "mode"},
                                      {ParamChannel, "channel"},
                                      {ParamPower, "power"},
                                      {ParamFrameFormat, "frame format"},
                                      {ParamPreambleLen, "preamble len"},
                                      {ParamMboxSize, "mbox size"},
                                      {ParamStatsFrame, "stats frame"},
                                      {ParamStatsPreamble, "stats reamble detect"},
                                      {ParamStatsSyncAddr, "stats sync addr"},
                                      {ParamStatsCrcErr, "stats crc err"}};

template <size_t N> const char *LookUp(const NamedValue (&table)[N], unsigned value)
{
    for (const NamedValue &entry : table)
    {
        if (entry.value == value)
        {
            return entry.name;
        }
    }
    return "";
}

// Lower-case hexadecimal without leading zeros, as the traces print bytes and CRCs.
std::string Hex(unsigned value)
{
    std::ostringstream os;
    os << std::hex << std::nouppercase << value;
    return os.str();
}

// The port reports failures both as -1 and, for its I/O service, as exceptions; to the reader
// both are a failed read of that step.
int SerialRead(Serial &serial, uint8_t *into, unsigned &count, int32_t timeoutUs)
{
    try
    {
        return serial.ReadWithTimeout(into, count, timeoutUs);
    }
    catch (const std::exception &)
    {
        count = 0;
        return -1;
    }
}

bool SerialWrite(Serial &serial, const uint8_t *bytes, unsigned count)
{
    try
    {
        return serial.Write(bytes, count) == 0;
    }
    catch (const std::exception &)
    {
        return false;
    }
}

// A start-byte wait is cut into slices this long so that a stop request is seen quickly.
constexpr int32_t kStopPollUs = 100000;

std::string DumpText(const WMBC_ZV_Frame &frame)
{
    std::ostringstream os;
    WMBC_ZV_Frame::DumpFrame(os, frame);
    return os.str();
}

} // namespace

const char *FrameKindName(unsigned kind)
{
    return LookUp(kKindNames, kind);
}

const char *FrameChannelName(unsigned channel)
{
    return LookUp(kChannelNames, channel);
}

const char *ModemCommandName(unsigned cmd)
{
    return LookUp(kCommandNames, cmd);
}

const char *ModemParamName(unsigned param)
{
    return LookUp(kParamNames, param);
}

WMBC_ZV_Frame::WMBC_ZV_Frame(FrameKind kind)
{
    Init(kind);
    Finalize();
}

WMBC_ZV_Frame::WMBC_ZV_Frame(FrameKind kind, FrameChannel channel, int flag)
{
    Init(kind);
    SetChannel(channel);
    SetFlag(flag);
    Finalize();
}

void WMBC_ZV_Frame::Init(FrameKind kind)
{
    buffer[0] = StartByte;
    buffer[1] = DataOffset;
    buffer[2] = uint8_t((kind & 3) << 6);
    len = DataOffset;
}

void WMBC_ZV_Frame::Append(const uint8_t *bytes, int n)
{
    if (n < 0 || len + n + 3 > MaxBuiltFrame)
    {
        throw std::out_of_range("Out of range");
    }
    if (n > 0)
    {
        std::memcpy(buffer + len, bytes, size_t(n));
    }
    len += n;
}

void WMBC_ZV_Frame::SetChannel(FrameChannel channel)
{
    buffer[2] |= uint8_t((channel & 3) << 4);
}

void WMBC_ZV_Frame::SetFlag(int flag)
{
    buffer[2] |= uint8_t((flag & 1) << 3);
}

uint16_t WMBC_ZV_Frame::CrcOver(int end) const
{
    // Control byte and payload: offsets 2 to end - 1.
    if (end <= 2 || end > BufferSize)
    {
        return mbus_crc16(buffer + 2, 0, MBUS_CRC16_PLAIN);
    }
    return mbus_crc16(buffer + 2, size_t(end - 2), MBUS_CRC16_PLAIN);
}

void WMBC_ZV_Frame::Finalize()
{
    if (len < DataOffset || len + 3 > BufferSize)
    {
        throw std::out_of_range("Out of range");
    }
    uint16_t crc = CrcOver(len);
    buffer[len] = uint8_t(crc >> 8);
    buffer[len + 1] = uint8_t(crc & 0xFF);
    buffer[len + 2] = StopByte;
    buffer[1] = uint8_t(len & 0xFF);
}

void WMBC_ZV_Frame::SetPayload(std::initializer_list<uint8_t> header, const uint8_t *data, int n)
{
    Init(KindData);
    // The same limit for every request layout, whatever its header: the frame stays reset.
    if (n < 0 || n + 6 > MaxBuiltFrame)
    {
        throw std::out_of_range("Out of range");
    }
    for (uint8_t byte : header)
    {
        buffer[len++] = byte;
    }
    if (n > 0)
    {
        std::memcpy(buffer + len, data, size_t(n));
    }
    len += n;
}

void WMBC_ZV_Frame::SetCommand(uint8_t cmd, uint8_t param, const uint8_t *data, int n)
{
    SetPayload({cmd, param, uint8_t(n)}, data, n);
}

void WMBC_ZV_Frame::SetResponse(uint8_t code, const uint8_t *data, int n)
{
    SetCommand(CmdAck, code, data, n);
}

void WMBC_ZV_Frame::SetRequest(uint8_t cmd, const uint8_t *data, int n)
{
    SetPayload({cmd, uint8_t(n)}, data, n);
}

FrameKind WMBC_ZV_Frame::GetKind() const
{
    unsigned kind = buffer[2] >> 6;
    if (kind == KindUndefined)
    {
        throw std::runtime_error("Invalid frame cmd");
    }
    return FrameKind(kind);
}

FrameChannel WMBC_ZV_Frame::GetChannel() const
{
    unsigned channel = (buffer[2] >> 4) & 3;
    if (channel == ChannelUndefined)
    {
        throw std::runtime_error("Invalid frame channel");
    }
    return FrameChannel(channel);
}

int WMBC_ZV_Frame::GetFlag() const
{
    return (buffer[2] >> 3) & 1;
}

uint16_t WMBC_ZV_Frame::ComputeCrc() const
{
    return CrcOver(len);
}

uint8_t WMBC_ZV_Frame::ByteAt(unsigned position) const
{
    // Position 260 is already past the buffer, so it counts as outside the packet too.
    if (position >= unsigned(BufferSize))
    {
        throw std::out_of_range("Index out of packet range");
    }
    if (long(position) > long(len) + 2)
    {
        throw std::out_of_range("Index out of data range");
    }
    return buffer[position];
}

std::string WMBC_ZV_Frame::GetDataHex(int start, int count) const
{
    // Never past the stop byte of this frame, nor past the buffer.
    long end = std::min<long>(long(start) + count, std::min<long>(long(len) + 3, BufferSize) - DataOffset);
    std::ostringstream os;
    os << std::hex << std::uppercase << std::setfill('0');
    for (long i = std::max(start, 0); i < end; ++i)
    {
        os << std::setw(2) << unsigned(buffer[DataOffset + i]) << ' ';
    }
    return os.str();
}

WMBC_ZV_Frame::ReadResult WMBC_ZV_Frame::ReadStartByte(Serial &serial, int32_t timeoutUs,
                                                       const std::function<bool()> &stopRequested)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::microseconds(timeoutUs);
    for (;;)
    {
        int32_t slice = timeoutUs;
        if (stopRequested)
        {
            if (stopRequested())
            {
                return ReadResult::Failed;
            }
            auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
            if (left <= 0)
            {
                return ReadResult::Failed;
            }
            slice = int32_t(std::min<long long>(left, kStopPollUs));
        }
        const Clock::time_point sliceStart = Clock::now();
        unsigned count = 1;
        if (SerialRead(serial, buffer, count, slice) == 0)
        {
            return count == 1 ? ReadResult::Ok : ReadResult::NoByte;
        }
        if (!stopRequested || stopRequested())
        {
            return ReadResult::Failed;
        }
        // A port that fails at once (device gone) must not become a busy loop here; the
        // reader thread backs off instead.
        if (Clock::now() - sliceStart < std::chrono::microseconds(slice / 2))
        {
            return ReadResult::Failed;
        }
    }
}

bool WMBC_ZV_Frame::ReadFrame(Serial &serial, int timeoutMs, const std::function<bool()> &stopRequested)
{
    const int32_t timeoutUs = int32_t(timeoutMs) * 1000;
    len = 0;

    for (;;)
    {
        ReadResult start = ReadStartByte(serial, timeoutUs, stopRequested);
        if (start == ReadResult::Failed)
        {
            return false;
        }
        if (start == ReadResult::NoByte)
        {
            WMBC_TRACE("Read timeout");
            return false;
        }
        if (buffer[0] == StartByte)
        {
            break;
        }
        WMBC_TRACE("Drop byte: 0x" << Hex(buffer[0]));
    }

    unsigned count = 1;
    if (SerialRead(serial, buffer + 1, count, timeoutUs) != 0)
    {
        WMBC_DEBUG("Cannot read length");
        return false;
    }
    if (count != 1)
    {
        WMBC_TRACE("Read timeout");
        return false;
    }

    const unsigned length = buffer[1];
    // L counts start byte, L and control byte at least; anything shorter has no CRC to check.
    if (length < unsigned(DataOffset))
    {
        WMBC_DEBUG("Invalid frame length: " << length);
        return false;
    }

    count = length;
    if (SerialRead(serial, buffer + 2, count, timeoutUs) != 0)
    {
        WMBC_DEBUG("Cannot read data");
        return false;
    }
    if (count != length)
    {
        WMBC_DEBUG("Unexpected frame length expected: " << length << " rcved: " << count);
        WMBC_DEBUG("Unexpected frame length");
        return false;
    }

    // The stop byte is not checked: a frame with a good CRC stands without it.
    count = 1;
    if (SerialRead(serial, buffer + length + 2, count, 10000) != 0)
    {
        WMBC_DEBUG("Cannot read stop byte");
    }

    len = int32_t(length);
    const uint16_t crc = CrcOver(len);
    const uint8_t high = buffer[len];
    const uint8_t low = buffer[len + 1];
    if (high == uint8_t(crc >> 8) && low == uint8_t(crc & 0xFF))
    {
        WMBC_TRACE("rcv:" << BytesToHex(buffer, size_t(len) + 3));
        WMBC_TRACE("rcv:" << DumpText(*this));
        return true;
    }
    WMBC_DEBUG("rcv: " << DumpText(*this));
    WMBC_DEBUG("Wrong crc detected expected: " << Hex(crc) << " rcved: " << Hex(high) << Hex(low));
    return false;
}

void WMBC_ZV_Frame::WriteFrame(Serial &serial) const
{
    if (len < DataOffset || len + 3 > BufferSize)
    {
        WMBC_ERROR("Failed to write frame");
        return;
    }
    WMBC_TRACE("snd:" << BytesToHex(buffer, size_t(len) + 3));
    WMBC_TRACE("snd:" << DumpText(*this));
    if (!SerialWrite(serial, buffer, unsigned(len) + 3))
    {
        WMBC_ERROR("Failed to write frame");
    }
}

std::ostream &WMBC_ZV_Frame::DumpFrame(std::ostream &os, const WMBC_ZV_Frame &frame)
{
    // Kept inside the buffer whatever len says, so that a broken frame can still be traced.
    const int end = std::max(DataOffset - 1, std::min<int>(frame.len, BufferSize - 2));
    const unsigned control = frame.buffer[2];
    const unsigned kind = control >> 6;
    const unsigned channel = (control >> 4) & 3;
    int d = 2;

    os << "[" << FrameChannelName(channel) << "][" << FrameKindName(kind);
    if (kind == KindData && channel == ChannelCtrl && end > DataOffset)
    {
        const unsigned cmd = frame.buffer[DataOffset];
        os << " " << ModemCommandName(cmd);
        d = 3;
        if ((cmd == CmdRead || cmd == CmdWrite) && end > DataOffset + 1)
        {
            os << " " << ModemParamName(frame.buffer[DataOffset + 1]);
            d = 4;
        }
    }
    os << "][" << ((control >> 3) & 1) << "] ";
    if (end > d)
    {
        os << BytesToHex(frame.buffer + d, size_t(end - d));
    }
    os << "crc: 0x" << Hex(frame.buffer[end]) << Hex(frame.buffer[end + 1]);
    return os;
}

} // namespace WMBusMod
