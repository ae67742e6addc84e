#include "DateTime.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace beamlink {

namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;
// Day 0 (30 December 1899) counted from 1 March of year 0, the origin of the calendar maths.
constexpr std::int64_t kEpochFromMarch0 = 693'899;

constexpr bool isLeapYear(std::int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

constexpr int daysInMonth(std::int64_t y, int m) {
    constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeapYear(y) ? 29 : kDays[m - 1];
}

// Years start on 1 March so the leap day is the last day of the year; eras are 400 years.
constexpr std::int64_t daysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146'097 + doe - kEpochFromMarch0;
}

struct CivilDate {
    std::int64_t year;
    int month, day;
};

constexpr CivilDate civilFromDays(std::int64_t days) {
    days += kEpochFromMarch0;
    const std::int64_t era = (days >= 0 ? days : days - 146'096) / 146'097;
    const std::int64_t doe = days - era * 146'097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36'524 - doe / 146'096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return {yoe + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

constexpr std::int64_t kFirstDay = daysFromCivil(1, 1, 1);
constexpr std::int64_t kLastDay = daysFromCivil(9999, 12, 31);
static_assert(daysFromCivil(1899, 12, 30) == 0);
static_assert(kFirstDay == -693'593 && kLastDay == 2'958'465);

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

}  // namespace

double EncodeDateTime(const DateTimeParts& p) {
    if (p.Year < 1 || p.Year > 9999 || p.Month < 1 || p.Month > 12 || p.Day < 1 ||
        p.Day > daysInMonth(p.Year, p.Month) || p.Hour > 23 || p.Minute > 59 || p.Second > 59 ||
        p.MilliSecond > 999) {
        throw std::invalid_argument("Invalid date-time parts");
    }
    const std::int64_t msOfDay =
        ((p.Hour * 60 + p.Minute) * 60 + p.Second) * std::int64_t{1000} + p.MilliSecond;
    // Linear in time before day 0 too: -0.25 is 18:00 on 29 December 1899.
    return static_cast<double>(daysFromCivil(p.Year, p.Month, p.Day)) +
           static_cast<double>(msOfDay) / static_cast<double>(kMsPerDay);
}

DateTimeParts DecodeDateTime(double value) {
    // Extended precision keeps the millisecond exact over the whole calendar; values outside it
    // (and NaN, taken as day 0) are clamped so the conversion below is always defined.
    constexpr long double kMinMs = static_cast<long double>(kFirstDay * kMsPerDay);
    constexpr long double kMaxMs = static_cast<long double>((kLastDay + 1) * kMsPerDay - 1);
    long double ms = std::isnan(value) ? 0.0L : static_cast<long double>(value) * kMsPerDay;
    ms = std::clamp(ms, kMinMs, kMaxMs);
    const std::int64_t count = std::llround(ms);

    const std::int64_t days = floorDiv(count, kMsPerDay);
    std::int64_t rest = count - days * kMsPerDay;
    const CivilDate date = civilFromDays(days);

    DateTimeParts p;
    p.Year = static_cast<std::uint16_t>(date.year);
    p.Month = static_cast<std::uint16_t>(date.month);
    p.Day = static_cast<std::uint16_t>(date.day);
    p.MilliSecond = static_cast<std::uint16_t>(rest % 1000);
    rest /= 1000;
    p.Second = static_cast<std::uint16_t>(rest % 60);
    rest /= 60;
    p.Minute = static_cast<std::uint16_t>(rest % 60);
    p.Hour = static_cast<std::uint16_t>(rest / 60);
    return p;
}

}  // namespace beamlink
