#include "model/day_number.h"

int32_t DayNumberFromBytes(std::span<const uint8_t, 4> bytes)
{
    const uint32_t raw =
        (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | uint32_t{bytes[3]};
    return static_cast<int32_t>(raw);
}

DayBytes DayNumberToBytes(int32_t day)
{
    const auto raw = static_cast<uint32_t>(day);
    return {static_cast<uint8_t>(raw >> 24), static_cast<uint8_t>(raw >> 16), static_cast<uint8_t>(raw >> 8),
            static_cast<uint8_t>(raw)};
}

// Proleptic Gregorian calendar through days since 1970-01-01 (H. Hinnant's civil algorithms);
// 30 December 1899 is 25569 days before 1 January 1970.
namespace {
constexpr int64_t kDaysFrom1899To1970 = 25569;

int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d)
{
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}
}  // namespace

int32_t DayNumberFromDate(const CivilDate& date)
{
    return static_cast<int32_t>(DaysFromCivil(date.year, date.month, date.day) + kDaysFrom1899To1970);
}

CivilDate DateFromDayNumber(int32_t day)
{
    const int64_t z = int64_t{day} - kDaysFrom1899To1970 + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    const int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    return {static_cast<int>(y), static_cast<int>(m), static_cast<int>(d)};
}
