#include "cli/console_host.h"

#include <cstdio>

#include "commands/iso_time.h"
#include "link/messages.h"

namespace cli {

std::string ConsoleMessage(const std::string& text, const std::string& title)
{
    std::string line = "tarv-cli: " + title + ": ";
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        line += text[i];
    }
    return line + "\n";
}

std::string ConsoleHost::FormatShortDate(int32_t dayNumber)
{
    return IsoDate(dayNumber);
}

void ConsoleHost::ShowMessage(const std::string& text, const std::string& title)
{
    if (quiet_ && title == messages::kResolution04BWarning.title) return;
    std::fputs(ConsoleMessage(text, title).c_str(), stderr);
    std::fflush(stderr);
}

}  // namespace cli
