#ifndef TESTSUPPORT_TESTPTY_H
#define TESTSUPPORT_TESTPTY_H

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// A raw pseudo-terminal pair: the code under test opens SlaveName() with Serial, the test plays
// the far end (the modem) on the master side. The slave stays open as well until the pair is
// destroyed, so the master never sees a hang-up between two opens of the device.
class TestPty
{
public:
    TestPty();
    ~TestPty();
    TestPty(const TestPty &) = delete;
    TestPty &operator=(const TestPty &) = delete;

    const std::string &SlaveName() const { return slaveName; }
    int Master() const { return master; }

    void Write(const std::vector<uint8_t> &bytes);
    void Send(const std::string &bytes);
    // Whatever arrives within the time, stopping early once `atLeast` bytes came.
    std::vector<uint8_t> Read(std::chrono::milliseconds within, size_t atLeast = SIZE_MAX);
    // Everything until the line has been quiet for the given milliseconds.
    std::string Receive(int quietMilliseconds);
    // The far end hangs up: reads on the slave fail from now on.
    void CloseMaster();

private:
    void WriteAll(const uint8_t *bytes, size_t count);

    int master = -1;
    int slave = -1;
    std::string slaveName;
};

#endif
