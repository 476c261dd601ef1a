#ifndef TESTPTY_H
#define TESTPTY_H

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// A pseudo-terminal pair: the code under test opens SlaveName() with Serial, the test plays the
// far end on the master side.
class TestPty
{
public:
    TestPty();
    ~TestPty();
    TestPty(const TestPty &) = delete;
    TestPty &operator=(const TestPty &) = delete;

    const std::string &SlaveName() const { return slaveName; }
    void Write(const std::vector<uint8_t> &bytes);
    // Whatever arrives within the time, stopping early once `atLeast` bytes came.
    std::vector<uint8_t> Read(std::chrono::milliseconds within, size_t atLeast = SIZE_MAX);

private:
    int master = -1;
    int slave = -1;
    std::string slaveName;
};

#endif
