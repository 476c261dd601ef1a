#ifndef FAKEMODEM_H
#define FAKEMODEM_H

#include "StubModem.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

// A modem that records what the frame helpers hand it. Only the operations the helpers use do
// anything; the rest answer as the stub does.
class FakeModem : public StubModem
{
public:
    using Bytes = std::vector<uint8_t>;

    // The modem's own address: manufacturer 0x6AD2, id 0x12345678, version 0x01, type 0x31.
    WMBusMod::ModuleAddress address = 0x31'01'12345678'6AD2ULL;
    std::vector<Bytes> direct;  // frames given to SendFrame
    std::vector<Bytes> mailbox; // frames given to SndToMailbox
    int nextMessageId = 1;
    // Answers of IsReqQueueFull in turn; once they run out, `freeAfter` is answered.
    std::deque<uint8_t> freeAnswers;
    uint8_t freeAfter = 10;
    // WaitMailboxSpace moves this clock on by its seconds, so long waits cost no time.
    int64_t clock = 0;
    std::vector<unsigned> waits;

    WMBusMod::ModuleAddress GetModuleAddress() const override { return address; }

    void SendFrame(const uint8_t *frame, int length) override { direct.emplace_back(frame, frame + length); }
    int SndToMailbox(const uint8_t *frame, int length) override
    {
        mailbox.emplace_back(frame, frame + length);
        return nextMessageId++;
    }
    bool CheckMailbox(int) override { return true; }
    void DelMailbox(int) override {}
    bool IsMailboxFull() override { return IsReqQueueFull() == 0; }
    uint8_t IsReqQueueFull() override
    {
        if (freeAnswers.empty())
            return freeAfter;
        const uint8_t answer = freeAnswers.front();
        freeAnswers.pop_front();
        return answer;
    }
    bool WaitMailboxSpace(unsigned seconds) override
    {
        waits.push_back(seconds);
        clock += seconds;
        return false;
    }
};

#endif
