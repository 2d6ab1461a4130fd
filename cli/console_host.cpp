#include "cli/console_host.h"

#include "cli/stop_signals.h"
#include "commands/iso_time.h"

using namespace commands;

namespace cli {

bool ConsoleHost::RequestsAbandoned()
{
    return StopSignal() != 0 && !AnEncoderIsInHand();
}

std::string ConsoleHost::FormatShortDate(int32_t dayNumber)
{
    return IsoDate(dayNumber);
}

}  // namespace cli
