// The host of tarv-cli: the operating system's serial ports, port list, tick and date, with the
// UI services of a console. A message box becomes "tarv-cli: TITLE: text" on standard error.
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
    void ShowMessage(const std::string& text, const std::string& title) override;
    void OpenUrl(const std::string&) override {}
    // A console has no window to keep alive: an answer is awaited on the port, not spun for.
    void IdleBetweenPolls(platform::SerialPort& port, uint32_t maxMs) override { port.AwaitReceive(maxMs); }

    // Quiet: only errors, so the warnings that ask for nothing are dropped.
    void SetQuiet(bool quiet) { quiet_ = quiet; }

private:
    bool quiet_ = false;
};

// "tarv-cli: TITLE: text", the text's CRLF line breaks as plain line ends, and a final line end.
std::string ConsoleMessage(const std::string& text, const std::string& title);

}  // namespace cli
