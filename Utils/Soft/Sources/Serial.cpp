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
    readState = ReadWaiting;

    // Bytes of an earlier read that gave up come first: they were taken from the
    // line and must be neither lost nor delivered twice.
    const unsigned int fromHeld = std::min<size_t>(count, heldBack.size());
    std::copy_n(heldBack.begin(), fromHeld, buffer);
    heldBack.erase(heldBack.begin(), heldBack.begin() + fromHeld);
    transferred = fromHeld;

    readState = transferred == count ? ReadDone : WaitAndRead(buffer, count);
    if (readState == ReadDone)
        return 0;

    heldBack.insert(heldBack.begin(), buffer, buffer + transferred);
    transferred = 0;
    count = 0;
    return -1;
}

Serial::ReadState Serial::WaitAndRead(unsigned char *buffer, unsigned int count)
{
    if (!port.is_open())
        return ReadFailed;
    const int fd = port.native_handle();
    const bool limited = readTimeoutUs != 0;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::microseconds(std::max<std::int64_t>(readTimeoutUs, 0));

    while (transferred < count)
    {
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
        if (ready < 0)
        {
            if (errno == EINTR)
                continue;
            return ReadFailed;
        }
        if (ready == 0)
            return ReadTimedOut;
        if (watch.revents & POLLIN)
        {
            const ssize_t got = ::read(fd, buffer + transferred, count - transferred);
            if (got > 0)
                transferred += static_cast<unsigned int>(got);
            else if (got == 0 || (errno != EINTR && errno != EAGAIN))
                return LineGone(); // the far end has closed, or the device was removed
        }
        else if (watch.revents & (POLLHUP | POLLERR | POLLNVAL))
        {
            return LineGone();
        }
    }
    return ReadDone;
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
