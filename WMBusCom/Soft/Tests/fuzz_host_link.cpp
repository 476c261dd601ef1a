// Any bytes the modem may send: the host's frame reader and its pairing of link
// acknowledgements and answers with what it sent must take them without reading outside a
// frame, and never hand an answer to a request that is not waiting for one.
#include "FuzzLine.h"
#include "Log.h"
#include "Serial.h"
#include "WMBC_ZV.h"
#include "WMBC_ZV_Exchange.h"
#include "WMBC_ZV_Frame.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

using namespace WMBusMod;

namespace
{

// Plays the sending side: one command after the other, each with the next alternating bit.
// The script byte decides, frame by frame, whether the host's wait has run out before it.
class Host
{
public:
    explicit Host(uint8_t script) : script(script) { exchange.Sent(bit); }

    void Frame(const WMBC_ZV_Frame &frame, unsigned index)
    {
        if (script >> (index % 8) & 1)
        {
            TimeOut();
        }
        FrameChannel channel;
        FrameKind kind;
        try
        {
            channel = frame.GetChannel();
            kind = frame.GetKind();
        }
        catch (const std::runtime_error &)
        {
            return; // the reader drops such frames
        }
        if (channel != ChannelCtrl)
        {
            return;
        }
        if (kind != KindData)
        {
            if (exchange.LinkAck(kind, frame.GetFlag()) && kind == KindNak)
            {
                Next();
            }
            return;
        }
        if (!exchange.Answer())
        {
            return;
        }
        try
        {
            const std::vector<uint8_t> data = WMBC_ZV::ParseAnswer(frame, "", "cmd failed");
            if (data.size() > 255)
            {
                std::abort();
            }
        }
        catch (const std::runtime_error &)
        {
        }
        Next();
    }

    void Check() const
    {
        if (exchange.Owed() < 0)
        {
            std::abort();
        }
    }

private:
    void TimeOut()
    {
        exchange.AckTimedOut();
        exchange.AnswerTimedOut();
        if (script & 0x80)
        {
            exchange.Forget();
            if (!exchange.Settled())
            {
                std::abort();
            }
        }
        Next();
    }

    void Next()
    {
        bit ^= 1;
        exchange.Sent(bit);
    }

    uint8_t script;
    int bit = 0;
    WMBC_ZV_Exchange exchange{true};
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool quiet = []
    {
        Log::Instance().SetEnabled(false);
        return true;
    }();
    (void)quiet;
    if (size == 0)
    {
        return 0;
    }

    Host host(data[0]);
    FuzzLine::Feed(data + 1, size - 1);
    Serial serial;
    for (unsigned index = 0; !FuzzLine::Exhausted(); ++index)
    {
        WMBC_ZV_Frame frame;
        const bool read = frame.ReadFrame(serial, 10);
        std::ostringstream trace;
        WMBC_ZV_Frame::DumpFrame(trace, frame);
        if (read)
        {
            if (frame.len < 3 || frame.len + 3 > WMBC_ZV_Frame::BufferSize)
            {
                std::abort();
            }
            host.Frame(frame, index);
            host.Check();
        }
    }
    return 0;
}
