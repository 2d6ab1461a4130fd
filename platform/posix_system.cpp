// The tick, sleep, local date and version string on POSIX.
#include <time.h>

#include <cerrno>

#include "model/day_number.h"
#include "platform/system_host.h"

namespace platform {

uint32_t SystemHost::TickCount()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    // Truncation to 32 bits is the contract: callers compare ticks by unsigned difference.
    const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1'000'000u;
    return static_cast<uint32_t>(ms);
}

void SystemHost::Sleep(uint32_t ms)
{
    timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1'000'000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

int32_t SystemHost::Today()
{
    const time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    return DayNumberFromDate({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday});
}

std::string SystemHost::VersionString()
{
    return TARV_VERSION_STRING;
}

}  // namespace platform
