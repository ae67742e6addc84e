#include "LocalTime.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <ctime>
#include <string>

#include "DateTime.h"
#include "ScopedTimeZone.h"

namespace beamlink {
namespace {

using test_support::ScopedTimeZone;

// Daylight time all year in POSIX rule form, so the daylight path runs whatever today's date.
constexpr const char* kAlwaysDaylight = "XST3XDT,0/0,J365/25";

struct ZoneRow {
    const char* tz;
    std::int32_t bias;          // minutes, UTC = local + Bias
    std::int32_t daylightStep;  // DaylightBias while daylight time is in force
};
void PrintTo(const ZoneRow& row, std::ostream* os) {
    *os << row.tz;
}

class SystemZoneUnderTz : public ::testing::TestWithParam<ZoneRow> {
protected:
    void SetUp() override {
        if (!tz_.use(GetParam().tz)) {
            GTEST_SKIP() << GetParam().tz << " is not installed";
        }
    }
    ScopedTimeZone tz_;
};

TEST_P(SystemZoneUnderTz, OffsetsFollowTheZone) {
    const auto& row = GetParam();
    const ZoneInfo info = SystemZone().TimeZoneInformation();
    EXPECT_EQ(info.Bias, row.bias);
    EXPECT_EQ(info.StandardBias, 0);
    ASSERT_TRUE(info.ResultCode == ZoneInfo::kStandard || info.ResultCode == ZoneInfo::kDaylight)
        << info.ResultCode;
    EXPECT_EQ(info.DaylightBias, info.ResultCode == ZoneInfo::kDaylight ? row.daylightStep : 0);
}

TEST_P(SystemZoneUnderTz, LocalClockIsTheLibrarysLocalTime) {
    const time_t before = time(nullptr);
    const double local = SystemClock().Now();
    tm parts{};
    localtime_r(&before, &parts);
    const double expected = EncodeDateTime(
        {static_cast<std::uint16_t>(parts.tm_year + 1900),
         static_cast<std::uint16_t>(parts.tm_mon + 1), static_cast<std::uint16_t>(parts.tm_mday),
         static_cast<std::uint16_t>(parts.tm_hour), static_cast<std::uint16_t>(parts.tm_min),
         static_cast<std::uint16_t>(parts.tm_sec), 0});
    const double seconds = (local - expected) * 86'400;
    EXPECT_GE(seconds, 0.0);
    EXPECT_LT(seconds, 2.0);
}

INSTANTIATE_TEST_SUITE_P(Zones, SystemZoneUnderTz,
                         ::testing::Values(ZoneRow{"UTC0", 0, 0}, ZoneRow{"Asia/Kolkata", -330, 0},
                                           ZoneRow{"America/New_York", 300, -60},
                                           ZoneRow{"Europe/Berlin", -60, -60},
                                           ZoneRow{"Australia/Sydney", -600, -60},
                                           ZoneRow{"Australia/Lord_Howe", -630, -30},
                                           ZoneRow{kAlwaysDaylight, 180, -60}),
                         [](const auto& row) {
                             std::string name;
                             for (char c : std::string(row.param.tz)) {
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name;
                         });

std::int64_t unixMs(const timespec& ts) {
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

TEST(SystemClock, ReadsTheClockToTheMillisecond) {
    // Under UTC the local date-time is the system clock itself, so it must fall between two
    // readings taken around it, millisecond included.
    ScopedTimeZone tz;
    ASSERT_TRUE(tz.use("UTC0"));
    for (int i = 0; i < 20; ++i) {
        timespec before{}, after{};
        clock_gettime(CLOCK_REALTIME, &before);
        const double now = SystemClock().Now();
        clock_gettime(CLOCK_REALTIME, &after);
        const auto ms = std::llround((now - 25'569) * 86'400'000.0);
        ASSERT_GE(ms, unixMs(before));
        ASSERT_LE(ms, unixMs(after));
    }
}

TEST(SystemZone, DaylightStateFollowsTheZone) {
    ScopedTimeZone tz;
    ASSERT_TRUE(tz.use(kAlwaysDaylight));
    EXPECT_EQ(SystemZone().TimeZoneInformation().ResultCode, ZoneInfo::kDaylight);
    ASSERT_TRUE(tz.use("UTC0"));
    EXPECT_EQ(SystemZone().TimeZoneInformation().ResultCode, ZoneInfo::kStandard);
    if (!tz.use("Asia/Kolkata")) {
        GTEST_SKIP() << "Asia/Kolkata is not installed";
    }
    EXPECT_EQ(SystemZone().TimeZoneInformation().ResultCode, ZoneInfo::kStandard);
}

TEST(SystemZone, ASouthernOrANorthernZoneIsInDaylightTimeNow) {
    // Between them these two have daylight time on every date, so the tzdata daylight path is
    // exercised whenever the tests run.
    ScopedTimeZone tz;
    if (!tz.use("Europe/Berlin") || !tz.use("Australia/Sydney")) {
        GTEST_SKIP() << "Europe/Berlin or Australia/Sydney is not installed";
    }
    tz.use("Europe/Berlin");
    const bool berlin = SystemZone().TimeZoneInformation().ResultCode == ZoneInfo::kDaylight;
    tz.use("Australia/Sydney");
    const bool sydney = SystemZone().TimeZoneInformation().ResultCode == ZoneInfo::kDaylight;
    EXPECT_TRUE(berlin || sydney) << "neither zone reports daylight time; have the rules changed?";
}

}  // namespace
}  // namespace beamlink
