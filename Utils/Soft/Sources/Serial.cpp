#include "Serial.h"

#include "LogStatement.h"
#include "ScopedLock.h"
#include "SystemException.h"

#include <algorithm>
#include <boost/asio/serial_port_base.hpp>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace
{

std::string SystemText(const char *tag, int error)
{
    return std::string(tag) + ": " + std::system_category().message(error);
}

[[noreturn]] void ThrowSystem(const char *tag, const boost::system::error_code &error)
{
    throw SystemException(SystemText(tag, error.value()));
}

} // namespace

Serial::Serial() = default;

Serial::~Serial()
{
    boost::system::error_code ignored;
    port.close(ignored);
}

bool Serial::IsOpen() const
{
    return port.is_open();
}

int Serial::Open(const std::string &name, unsigned int baudRate)
{
    LOG_LINE(LogLevel::Trace, LogModule::Utils) << "Open device: " << name;
    if (port.is_open())
        Close();

    boost::system::error_code error;
    port.open(name, error);
    if (error)
        ThrowSystem("open", error);
    deviceName = name;
    lineLost = false;

    // Raw mode: no echo, no line editing, no translation of CR or LF, so every
    // byte of a frame arrives as the modem sent it.
    termios settings{};
    if (::tcgetattr(port.native_handle(), &settings) != 0)
        throw SystemException(SystemText("set_option", errno));
    ::cfmakeraw(&settings);
    settings.c_cflag |= CREAD | CLOCAL;
    if (::tcsetattr(port.native_handle(), TCSANOW, &settings) != 0)
        throw SystemException(SystemText("set_option", errno));

    using boost::asio::serial_port_base;
    SetOption(serial_port_base::baud_rate(baudRate));
    SetOption(serial_port_base::parity(serial_port_base::parity::none));
    SetOption(serial_port_base::character_size(8));
    SetOption(serial_port_base::flow_control(serial_port_base::flow_control::none));
    SetOption(serial_port_base::stop_bits(serial_port_base::stop_bits::one));
    return 0;
}

int Serial::Close()
{
    LOG_LINE(LogLevel::Trace, LogModule::Utils) << "Close device: " << deviceName;
    if (port.is_open())
    {
        boost::system::error_code error;
        port.close(error);
        transferred = 0;
        readTimeoutUs = 0;
        readState = ReadWaiting;
        heldBack.clear();
        if (error)
            ThrowSystem("close", error);
    }
    return 0;
}

int Serial::Flush(int queueSelector)
{
    if (!port.is_open())
        return 0;
    const bool input = queueSelector != 1;
    const bool output = queueSelector != 0;
    const int queues = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
    if (::tcflush(port.native_handle(), queues) != 0)
        throw SystemException(SystemText("flush", errno));
    if (input)
        heldBack.clear();
    return 0;
}

template <typename Option> void Serial::SetOption(const Option &option)
{
    boost::system::error_code error;
    port.set_option(option, error);
    if (error)
        ThrowSystem("set_option", error);
}

int Serial::SetBaudRate(unsigned int rate)
{
    SetOption(boost::asio::serial_port_base::baud_rate(rate));
    return 0;
}

int Serial::SetFlowControl(int mode)
{
    using boost::asio::serial_port_base;
    SetOption(serial_port_base::flow_control(mode == 0 ? serial_port_base::flow_control::hardware
                                                       : serial_port_base::flow_control::none));
    return 0;
}

int Serial::SetStopBits(int mode)
{
    using boost::asio::serial_port_base;
    SetOption(
        serial_port_base::stop_bits(mode == 1 ? serial_port_base::stop_bits::two : serial_port_base::stop_bits::one));
    return 0;
}

int Serial::ReadWithTimeout(unsigned char *buffer, unsigned int &count, std::int32_t timeoutUs)
{
    readTimeoutUs = timeoutUs;
    return Read(buffer, count);
}

int Serial::ReadByte(unsigned char *buffer)
{
    unsigned int count = 1;
    return Read(buffer, count);
}

int Serial::Read(unsigned char *buffer, unsigned int &count)
{
    transferred = 0;
    readState = WaitAndRead(count);
    if (readState != ReadDone)
    {
        count = 0;
        return -1;
    }
    // Bytes leave the held-back store only when they are delivered: a read that gave up
    // leaves them for the next read, neither lost nor delivered twice.
    std::copy_n(heldBack.begin(), count, buffer);
    heldBack.erase(heldBack.begin(), heldBack.begin() + count);
    transferred = count;
    return 0;
}

Serial::ReadState Serial::WaitAndRead(unsigned int count)
{
    if (heldBack.size() >= count)
        return ReadDone;
    if (!port.is_open())
        return ReadFailed;
    const int fd = port.native_handle();
    const bool limited = readTimeoutUs != 0;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::microseconds(std::max<std::int64_t>(readTimeoutUs, 0));

    // The port is non-blocking, so a read comes first: a frame that is already there costs
    // one system call, and every byte the line holds is taken in that call. The reader reads
    // a frame byte by byte; those reads are then served from the held-back store.
    bool readFirst = true;
    for (;;)
    {
        if (readFirst)
        {
            unsigned char chunk[ReadAheadSize];
            const ssize_t got = ::read(fd, chunk, sizeof chunk);
            if (got > 0)
            {
                heldBack.insert(heldBack.end(), chunk, chunk + got);
                if (heldBack.size() >= count)
                    return ReadDone;
                // A short chunk emptied the line: the rest is still on its way.
                readFirst = static_cast<size_t>(got) == sizeof chunk;
                continue;
            }
            if (got == 0)
                return LineGone(); // the far end has closed
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                return LineGone(); // the device was removed
        }

        if (beforeWait)
            beforeWait();
        timespec wait{};
        timespec *waitPointer = nullptr;
        if (limited)
        {
            const auto left =
                std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return ReadTimedOut;
            wait.tv_sec = static_cast<time_t>(left.count() / 1000000000);
            wait.tv_nsec = static_cast<long>(left.count() % 1000000000);
            waitPointer = &wait;
        }
        pollfd watch{fd, POLLIN, 0};
        const int ready = ::ppoll(&watch, 1, waitPointer, nullptr);
        readFirst = true;
        if (ready < 0)
        {
            if (errno == EINTR)
                continue;
            return ReadFailed;
        }
        if (ready == 0)
            return ReadTimedOut;
        if (!(watch.revents & POLLIN) && (watch.revents & (POLLHUP | POLLERR | POLLNVAL)))
            return LineGone();
    }
}

Serial::ReadState Serial::LineGone()
{
    lineLost = true;
    return ReadFailed;
}

int Serial::Write(const unsigned char *data, unsigned int length)
{
    ScopedLock lock(writeLock);
    if (!port.is_open())
        throw SystemException(SystemText("write", EBADF));
    const int fd = port.native_handle();
    unsigned int written = 0;
    while (written < length)
    {
        const ssize_t sent = ::write(fd, data + written, length - written);
        if (sent > 0)
        {
            written += static_cast<unsigned int>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && errno == EAGAIN)
        {
            // The port is non-blocking: wait until the device takes more.
            pollfd watch{fd, POLLOUT, 0};
            if (::poll(&watch, 1, -1) < 0 && errno != EINTR)
                throw SystemException(SystemText("write", errno));
            continue;
        }
        throw SystemException(SystemText("write", sent < 0 ? errno : EIO));
    }
    return 0;
}

int Serial::WriteByte(unsigned char value)
{
    return Write(&value, 1);
}
