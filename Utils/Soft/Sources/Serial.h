#ifndef SERIAL_H
#define SERIAL_H

#include "Mutex.h"

#include <boost/asio/io_context.hpp>
#include <atomic>
#include <boost/asio/serial_port.hpp>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The serial port of the modem. Opened and configured through boost.asio (raw:
// no echo, no line discipline); reads wait on the descriptor with a deadline and
// take all the line holds at once, keeping what the caller did not ask for yet, so
// a read that gave up can never hand its bytes to a later read twice or lose them.
// Failures of open and options throw SystemException "<tag>: <system message>".
class Serial
{
public:
    enum ReadState
    {
        ReadWaiting = 0,
        ReadDone = 1,
        ReadFailed = 2,
        ReadTimedOut = 3
    };

    Serial();
    virtual ~Serial();

    Serial(const Serial &) = delete;
    Serial &operator=(const Serial &) = delete;

    // 115200 baud, 8 data bits, no parity, one stop bit, no flow control. Returns 0.
    int Open(const std::string &deviceName, unsigned int baudRate);
    // Also resets the read time-out to 0 (no limit). Returns 0.
    int Close();
    bool IsOpen() const;
    // Discards what the port holds: 0 input, 1 output, 2 both (as tcflush). Bytes of an earlier
    // run of the program, or of a modem that answered after its host was gone, are never read
    // as answers to us. Returns 0.
    int Flush(int queueSelector);
    // The far end is gone (end of file, EIO, hang-up or error on the line): reads will not
    // deliver anything again. Set by a failed read, cleared by Open.
    bool LineLost() const { return lineLost.load(); }

    // Reads exactly count bytes within the read time-out: 0 with count unchanged,
    // or -1 with count 0 on time-out, error or a closed far end. Bytes that arrived
    // before a failed read gave up are kept and come first in the next read.
    int Read(unsigned char *buffer, unsigned int &count);
    // Sets the read time-out in microseconds (0 = no limit; it stays in force), then Read.
    int ReadWithTimeout(unsigned char *buffer, unsigned int &count, std::int32_t timeoutUs);
    int ReadByte(unsigned char *buffer);

    // Writes all bytes under the write lock; any thread may write. Returns 0.
    int Write(const unsigned char *data, unsigned int length);
    int WriteByte(unsigned char value);

    int SetBaudRate(unsigned int rate);
    // 0: hardware flow control; any other value: none.
    int SetFlowControl(int mode);
    // 1: two stop bits; any other value: one.
    int SetStopBits(int mode);

    std::string GetDeviceName() const { return deviceName; }

    // Called on the reading thread whenever a read is about to wait because the line has
    // nothing more for now (the modem link hands over the frames it holds back then).
    // Set it while no read runs; an empty function calls nothing.
    void SetBeforeWait(std::function<void()> hook) { beforeWait = std::move(hook); }

private:
    template <typename Option> void SetOption(const Option &option);
    // Until the held-back store holds count bytes, the time-out passes or the port fails.
    ReadState WaitAndRead(unsigned int count);
    ReadState LineGone();

    // Bytes taken from the line in one read at most; a frame of the modem fits whole.
    static constexpr size_t ReadAheadSize = 1024;

    std::string deviceName;
    Mutex writeLock{Mutex::Plain};
    boost::asio::io_context ioContext;
    boost::asio::serial_port port{ioContext};
    std::int64_t readTimeoutUs = 0;
    ReadState readState = ReadWaiting;
    unsigned int transferred = 0;
    std::function<void()> beforeWait;
    // Bytes taken from the line and not yet delivered, oldest first.
    std::vector<unsigned char> heldBack;
    std::atomic<bool> lineLost{false};
};

#endif
