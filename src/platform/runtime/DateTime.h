#pragma once
// Date-times as doubles counting days since 30 December 1899, the fraction the time of day.

#include <cstdint>

namespace beamlink {

struct DateTimeParts {
    std::uint16_t Year = 0, Month = 0, Day = 0;
    std::uint16_t Hour = 0, Minute = 0, Second = 0, MilliSecond = 0;
    bool operator==(const DateTimeParts&) const = default;
};

// The calendar runs from 1 January 1 to 31 December 9999 (proleptic Gregorian). Time is linear
// before day 0 as well: -0.25 is 18:00 on 29 December 1899.

// Throws std::invalid_argument for parts that name no moment of that calendar.
double EncodeDateTime(const DateTimeParts& parts);
// Rounds to the nearest millisecond first and takes date and time from that one count, so a
// value a hair below midnight is 00:00:00.000 of the next day. Values beyond the calendar are
// clamped to its first or last millisecond; NaN decodes as day 0.
DateTimeParts DecodeDateTime(double value);

}  // namespace beamlink
