#include "cli/console_host.h"

#include "commands/iso_time.h"

namespace cli {

std::string ConsoleHost::FormatShortDate(int32_t dayNumber)
{
    return IsoDate(dayNumber);
}

}  // namespace cli
