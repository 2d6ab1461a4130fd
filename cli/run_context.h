// Where a tarv-cli command writes, what time it is, and whether it has been asked to stop: the
// real ones in main, stand-ins in the tests.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>

#include "cli/iso_time.h"

namespace cli {

struct RunContext {
    std::ostream& out;  // the command's result: text or JSON
    std::ostream& err;  // tarv-cli's own messages; the link's message boxes go through the host
    std::function<int64_t()> unixSecondsNow = UnixSecondsNow;
    std::function<bool()> stopRequested = [] { return false; };
};

}  // namespace cli
