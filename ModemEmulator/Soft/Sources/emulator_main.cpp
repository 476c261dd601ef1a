// modem-emulator: the radio modem on a pseudo-terminal, for end-to-end tests
// and for trying Tolvern and the GUI without hardware.
#include "EmulatorOptions.h"
#include "WMBH_HexText.h"

#include <csignal>
#include <ctime>
#include <fstream>
#include <iostream>

using namespace ModemEmu;

namespace
{

std::string Hex(const std::vector<uint8_t> &bytes)
{
    return DataToHex(bytes.data(), bytes.size());
}

void WriteRecord(const HostRecord &record, const std::string &path)
{
    std::ofstream out(path);
    for (const RecordedFrame &frame : record.Frames())
        out << (frame.direction == Direction::FromHost ? "host: " : "modem: ") << Hex(frame.raw) << "\n";
    for (const HostRadioFrame &radio : record.RadioFrames())
        out << (radio.path == RadioPath::Direct ? "radio direct: " : "radio mailbox: ") << Hex(radio.bytes) << "\n";
    for (const RecordNote &note : record.Violations())
        out << "violation: " << note.text << "\n";
    for (const RecordNote &note : record.Events())
        out << "event: " << note.text << "\n";
}

} // namespace

int main(int argc, char **argv)
{
    EmulatorOptions options;
    try
    {
        options = EmulatorOptions::Parse(std::vector<std::string>(argv + 1, argv + argc));
    }
    catch (const std::exception &e)
    {
        std::cerr << "modem-emulator: " << e.what() << "\n" << EmulatorOptions::Usage();
        return 2;
    }
    if (options.help)
    {
        std::cout << EmulatorOptions::Usage();
        return 0;
    }

    // Signals are taken with sigtimedwait below; block them before the emulator's thread inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    try
    {
        ModemEmulator emulator(options.linkPath);
        options.Apply(emulator);
        emulator.Start();
        std::cout << emulator.DevicePath() << std::endl;

        timespec wait{};
        wait.tv_sec = options.timeLimitSeconds > 0 ? options.timeLimitSeconds : 3600;
        for (;;)
        {
            if (sigtimedwait(&stopSignals, nullptr, &wait) >= 0 || options.timeLimitSeconds > 0)
                break;
        }
        emulator.Stop();
        if (!options.recordPath.empty())
            WriteRecord(emulator.Record(), options.recordPath);
    }
    catch (const std::exception &e)
    {
        std::cerr << "modem-emulator: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
