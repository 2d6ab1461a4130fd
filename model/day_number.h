// DayNumber: a date as whole days since 30 December 1899 (day 0), stored on the device as 4 bytes,
// most significant first. No dependencies, so the hosts can use it too.
#pragma once

#include <array>
#include <cstdint>
#include <span>

using DayBytes = std::array<uint8_t, 4>;

int32_t DayNumberFromBytes(std::span<const uint8_t, 4> bytes);
DayBytes DayNumberToBytes(int32_t day);

struct CivilDate {
    int year;
    int month;  // 1..12
    int day;    // 1..31
    bool operator==(const CivilDate&) const = default;
};

int32_t DayNumberFromDate(const CivilDate& date);
CivilDate DateFromDayNumber(int32_t day);
