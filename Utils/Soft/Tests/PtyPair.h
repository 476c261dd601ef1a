#ifndef PTYPAIR_H
#define PTYPAIR_H

#include <string>

// A pseudo-terminal pair: the test plays the modem on the master side and opens
// Serial on the slave's name.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    const std::string &SlaveName() const { return slaveName; }
    int Master() const { return master; }

    void Send(const std::string &bytes) const;
    // Whatever the master can read within the given milliseconds.
    std::string Receive(int milliseconds) const;
    void CloseMaster();

private:
    int master = -1;
    std::string slaveName;
};

#endif
