#include "commands/iso_time.h"

#include <chrono>
#include <cstdio>

#include "model/day_number.h"

namespace commands {

namespace {
constexpr int64_t kSecondsPerDay = 86'400;
constexpr int64_t kDayNumberOf1970 = 25'569;  // 1 January 1970 in days since 30 December 1899

// Floor division, so that times before 1970 fall on the day they belong to.
int64_t FloorDiv(int64_t a, int64_t b)
{
    return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0);
}
}  // namespace

std::string IsoDate(int32_t dayNumber)
{
    const CivilDate date = DateFromDayNumber(dayNumber);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
    return text;
}

std::string UtcTimestamp(int64_t unixSeconds)
{
    const int64_t days = FloorDiv(unixSeconds, kSecondsPerDay);
    const int64_t secondOfDay = unixSeconds - days * kSecondsPerDay;
    char time[16];
    std::snprintf(time, sizeof time, "T%02d:%02d:%02dZ", static_cast<int>(secondOfDay / 3600),
                  static_cast<int>(secondOfDay / 60 % 60), static_cast<int>(secondOfDay % 60));
    return IsoDate(static_cast<int32_t>(days + kDayNumberOf1970)) + time;
}

int64_t UnixSecondsNow()
{
    // system_clock counts from 1970-01-01 UTC (guaranteed since C++20).
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace commands
