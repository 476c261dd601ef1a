#ifndef WMBC_ZV_FRAME_H
#define WMBC_ZV_FRAME_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <ostream>
#include <string>

class Serial;

namespace WMBusMod
{

// Bits 7-6 of the control byte.
enum FrameKind
{
    KindData = 0,
    KindAck = 1,
    KindNak = 2,
    KindUndefined = 3
};

// Bits 5-4 of the control byte.
enum FrameChannel
{
    ChannelCtrl = 0,
    ChannelData = 1,
    ChannelEvent = 2,
    ChannelUndefined = 3
};

// First payload byte of a data frame on the control channel.
enum ModemCommand
{
    CmdNone = 0,
    CmdAck = 1,
    CmdRead = 2,
    CmdWrite = 3,
    CmdMboxAdd = 4,
    CmdMboxDel = 5,
    CmdMboxGet = 6,
    CmdMboxCheck = 7
};

// Parameter ids of "read" and "write".
enum ModemParam
{
    ParamNone = 0,
    ParamHwVersion = 1,
    ParamModuleDesc = 2,
    ParamSwVersion = 3,
    ParamSerialNr = 4,
    ParamIdManuf = 10,
    ParamId = 11,
    ParamIdVersion = 12,
    ParamIdType = 13,
    ParamMode = 20,
    ParamChannel = 21,
    ParamPower = 22,
    ParamFrameFormat = 23,
    ParamPreambleLen = 24,
    ParamMboxSize = 25,
    ParamStatsFrame = 50,
    ParamStatsPreamble = 51,
    ParamStatsSyncAddr = 52,
    ParamStatsCrcErr = 53
};

// Names as the frame trace prints them; unknown values give "" (kind and channel 3 give "und").
const char *FrameKindName(unsigned kind);
const char *FrameChannelName(unsigned channel);
const char *ModemCommandName(unsigned cmd);
const char *ModemParamName(unsigned param);

// One modem serial frame: FF, L, control, payload, CRC high, CRC low, F5, where L counts the
// bytes before the CRC. A value object, copied whole when it changes hands between threads.
class WMBC_ZV_Frame
{
public:
    static constexpr int BufferSize = 260;
    // Frames we build stay within this many bytes when finished.
    static constexpr int MaxBuiltFrame = 252;
    static constexpr int DataOffset = 3;
    static constexpr uint8_t StartByte = 0xFF;
    static constexpr uint8_t StopByte = 0xF5;

    // Finished empty frame of that kind on channel 0, alternating bit 0.
    explicit WMBC_ZV_Frame(FrameKind kind = KindData);
    // Finished empty frame with channel and alternating bit: a link acknowledgement.
    WMBC_ZV_Frame(FrameKind kind, FrameChannel channel, int flag);
    virtual ~WMBC_ZV_Frame() = default;
    WMBC_ZV_Frame(const WMBC_ZV_Frame &) = default;
    WMBC_ZV_Frame &operator=(const WMBC_ZV_Frame &) = default;

    // Building; none of these finish the frame.
    void Init(FrameKind kind);
    void Append(const uint8_t *bytes, int n);
    void SetChannel(FrameChannel channel);
    void SetFlag(int flag);
    void Finalize();
    void SetCommand(uint8_t cmd, uint8_t param, const uint8_t *data, int n);
    void SetResponse(uint8_t code, const uint8_t *data, int n);
    void SetRequest(uint8_t cmd, const uint8_t *data, int n);

    // Fields of a finished or received frame.
    FrameKind GetKind() const;
    FrameChannel GetChannel() const;
    int GetFlag() const;
    const uint8_t *GetData() const { return buffer + DataOffset; }
    // From the length byte; negative for a malformed frame, which callers must refuse.
    int GetDataLength() const { return int(buffer[1]) - DataOffset; }
    int GetDataOffset() const { return DataOffset; }
    uint16_t ComputeCrc() const;
    uint8_t ByteAt(unsigned position) const;
    std::string GetDataHex(int start, int count) const;

    // Reads one frame; false for a time-out, a port failure, a malformed frame or a bad CRC.
    // The optional stop test is polled while waiting for a start byte, so that the reader can
    // be stopped without sitting out the whole time-out.
    bool ReadFrame(Serial &serial, int timeoutMs, const std::function<bool()> &stopRequested = {});
    void WriteFrame(Serial &serial) const;
    static std::ostream &DumpFrame(std::ostream &os, const WMBC_ZV_Frame &frame);

    // Bytes before the CRC: grows while building, equals L once finished or read, 0 while reading.
    int32_t len = 0;
    uint8_t buffer[BufferSize] = {};

private:
    enum class ReadResult
    {
        Ok,
        Failed,
        NoByte
    };
    void SetPayload(std::initializer_list<uint8_t> header, const uint8_t *data, int n);
    ReadResult ReadStartByte(Serial &serial, int32_t timeoutUs, const std::function<bool()> &stopRequested);
    uint16_t CrcOver(int end) const;
};

} // namespace WMBusMod

#endif
