// Dates and times as the reports and the journal write them: ISO 8601, the time in UTC.
#pragma once

#include <cstdint>
#include <string>

namespace commands {

// YYYY-MM-DD of a DayNumber.
std::string IsoDate(int32_t dayNumber);

// YYYY-MM-DDTHH:MM:SSZ of a time in seconds since 1970-01-01 00:00:00 UTC.
std::string UtcTimestamp(int64_t unixSeconds);

// Now, in seconds since 1970-01-01 00:00:00 UTC.
int64_t UnixSecondsNow();

}  // namespace commands
