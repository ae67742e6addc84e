#include "DateTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iomanip>
#include <limits>
#include <stdexcept>

namespace beamlink {
namespace {

DateTimeParts at(std::uint16_t y, std::uint16_t mo, std::uint16_t d, std::uint16_t h = 0,
                 std::uint16_t mi = 0, std::uint16_t s = 0, std::uint16_t ms = 0) {
    return {y, mo, d, h, mi, s, ms};
}

struct KnownDate {
    DateTimeParts parts;
    double value;
};

TEST(DateTime, KnownDatesEncodeAndDecode) {
    const KnownDate cases[] = {
        {at(1899, 12, 30), 0},
        {at(1899, 12, 31), 1},
        {at(1900, 1, 1), 2},
        {at(1900, 3, 1), 61},  // 1900 has no 29 February
        {at(1970, 1, 1), 25'569},
        {at(2000, 1, 1), 36'526},
        {at(2005, 3, 14), 38'425},
        {at(2005, 3, 14, 12), 38'425.5},
        {at(2005, 3, 14, 6), 38'425.25},
        {at(1899, 12, 29), -1},
        {at(1899, 12, 29, 18), -0.25},  // linear before day 0
        {at(1899, 12, 29, 6), -0.75},
        {at(1, 1, 1), -693'593},
        {at(9999, 12, 31), 2'958'465},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(EncodeDateTime(c.parts), c.value) << c.value;
        EXPECT_EQ(DecodeDateTime(c.value), c.parts) << c.value;
    }
}

TEST(DateTime, EveryDayOfTheCalendarFollowsThePreviousOne) {
    // An independent day-by-day walk: catches any slip of the era/leap-year arithmetic.
    auto leap = [](int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
    auto length = [&](int y, int m) {
        constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        return m == 2 && leap(y) ? 29 : kDays[m - 1];
    };
    int y = 1, m = 1, d = 1;
    for (int day = -693'593; day <= 2'958'465; ++day) {
        const DateTimeParts expected = at(y, m, d);
        const DateTimeParts got = DecodeDateTime(day);
        if (got != expected) {
            FAIL() << "day " << day << " decodes as " << got.Year << "-" << got.Month << "-"
                   << got.Day << ", expected " << y << "-" << m << "-" << d;
        }
        if (EncodeDateTime(expected) != day) {
            FAIL() << "encode of " << y << "-" << m << "-" << d << " is not " << day;
        }
        if (++d > length(y, m)) {
            d = 1;
            if (++m > 12) {
                m = 1;
                ++y;
            }
        }
    }
    EXPECT_EQ(y, 10000);
}

TEST(DateTime, TimeOfDayRoundTripsToTheMillisecond) {
    // Across the calendar, before and after day 0, each part at its extremes.
    const DateTimeParts dates[] = {at(1, 1, 1),     at(1899, 12, 29), at(1899, 12, 30),
                                   at(2000, 2, 29), at(2005, 3, 14),  at(2400, 2, 29),
                                   at(9999, 12, 31)};
    const DateTimeParts times[] = {at(0, 0, 0, 0, 0, 0, 0),      at(0, 0, 0, 0, 0, 0, 1),
                                   at(0, 0, 0, 8, 5, 30, 0),     at(0, 0, 0, 12, 0, 0, 0),
                                   at(0, 0, 0, 23, 59, 59, 998), at(0, 0, 0, 23, 59, 59, 999)};
    for (auto p : dates) {
        for (const auto& t : times) {
            p.Hour = t.Hour, p.Minute = t.Minute, p.Second = t.Second;
            p.MilliSecond = t.MilliSecond;
            EXPECT_EQ(DecodeDateTime(EncodeDateTime(p)), p)
                << p.Year << "-" << p.Month << "-" << p.Day << " " << p.Hour << ":" << p.Minute
                << ":" << p.Second << "." << p.MilliSecond;
        }
    }
}

TEST(DateTime, DecodeRoundsToTheNearestMillisecondFromOneCount) {
    constexpr double kMs = 1.0 / 86'400'000;
    const KnownDate cases[] = {
        // A hair below midnight is midnight of the next day, not 23:59:59.999 of this one.
        {at(2005, 3, 15), 38'426 - 1e-10},
        {at(2005, 3, 15), 38'426 - 0.4 * kMs},
        {at(2005, 3, 14, 23, 59, 59, 999), 38'426 - 0.6 * kMs},
        {at(2005, 3, 14, 8, 5, 30, 0), 38'425 + (8 * 3600 + 5 * 60 + 30) / 86'400.0 - 0.3 * kMs},
        {at(2000, 1, 1), 36'526 - 1e-11},  // the year rolls over with the day
        {at(1899, 12, 30), -1e-10},        // and across day 0
        {at(1899, 12, 29, 23, 59, 59, 999), -kMs},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeDateTime(c.value), c.parts) << std::setprecision(17) << c.value;
    }
}

TEST(DateTime, DecodeClampsValuesBeyondTheCalendar) {
    const DateTimeParts first = at(1, 1, 1);
    const DateTimeParts last = at(9999, 12, 31, 23, 59, 59, 999);
    const KnownDate cases[] = {
        {first, -693'594},
        {first, -1e300},
        {first, -std::numeric_limits<double>::infinity()},
        {last, 2'958'466},
        {last, 2'958'466 - 1e-10},  // would round into the year 10000
        {last, 1e300},
        {last, std::numeric_limits<double>::infinity()},
        {at(1899, 12, 30), std::numeric_limits<double>::quiet_NaN()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeDateTime(c.value), c.parts) << c.value;
    }
}

TEST(DateTime, EncodeRejectsPartsThatNameNoMoment) {
    const DateTimeParts cases[] = {
        at(0, 1, 1),
        at(10000, 1, 1),
        at(2005, 0, 1),
        at(2005, 13, 1),
        at(2005, 1, 0),
        at(2005, 1, 32),
        at(2005, 4, 31),
        at(1900, 2, 29),
        at(2100, 2, 29),
        at(2005, 2, 29),
        at(2005, 1, 1, 24),
        at(2005, 1, 1, 0, 60),
        at(2005, 1, 1, 0, 0, 60),
        at(2005, 1, 1, 0, 0, 0, 1000),
    };
    for (const auto& p : cases) {
        EXPECT_THROW(EncodeDateTime(p), std::invalid_argument)
            << p.Year << "-" << p.Month << "-" << p.Day << " " << p.Hour << ":" << p.Minute << ":"
            << p.Second << "." << p.MilliSecond;
    }
    EXPECT_NO_THROW(EncodeDateTime(at(2000, 2, 29)));
    EXPECT_NO_THROW(EncodeDateTime(at(2004, 2, 29)));
}

}  // namespace
}  // namespace beamlink
