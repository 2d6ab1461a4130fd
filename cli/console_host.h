// The host of tarv-cli: the operating system's serial ports, port list, tick and date, with the
// UI services of a console. The window's message boxes are not shown: tarv-cli tells every
// failure and warning in its own words, from the results of the commands.
#pragma once

#include <ostream>
#include <string>

#include "platform/system_host.h"

namespace cli {

class ConsoleHost final : public platform::SystemHost {
public:
    using SystemHost::SystemHost;

    std::string FormatShortDate(int32_t dayNumber) override;  // YYYY-MM-DD
    void ProcessMessages() override {}
    // tarv-cli tells every failure in its own words, from the commands' results, and every warning
    // before the write that it warns of: a box of either severity is not shown.
    void ShowMessage(const std::string&, const std::string&, platform::Severity) override {}
    void OpenUrl(const std::string&) override {}
    // A console has no window to keep alive: an answer is awaited on the port, not spun for.
    void IdleBetweenPolls(platform::SerialPort& port, uint32_t maxMs) override { port.AwaitReceive(maxMs); }
    // Asked to stop with no encoder in hand: nothing more is asked of the adapter.
    bool RequestsAbandoned() override;
};

}  // namespace cli
