#pragma once
// Date-times as doubles counting days since 30 December 1899, the fraction the time of day.

#include <cstdint>

namespace beamlink {

struct DateTimeParts {
    std::uint16_t Year = 0, Month = 0, Day = 0;
    std::uint16_t Hour = 0, Minute = 0, Second = 0, MilliSecond = 0;
    bool operator==(const DateTimeParts&) const = default;
};

double EncodeDateTime(const DateTimeParts& parts);
// Rounds to the nearest millisecond first and takes date and time from that one count, so a
// value a hair below midnight is 00:00:00.000 of the next day. Gregorian calendar.
DateTimeParts DecodeDateTime(double value);

}  // namespace beamlink
