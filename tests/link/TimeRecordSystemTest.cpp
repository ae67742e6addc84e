// The encoder over the real clock and zone, under several TZ settings.

#include <gtest/gtest.h>

#include <cctype>
#include <ctime>
#include <string>

#include "ScopedTimeZone.h"
#include "TimeRecord.h"

namespace beamlink {
namespace {

using test_support::ScopedTimeZone;

class SystemUtcUnderTz : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        if (!tz_.use(GetParam())) {
            GTEST_SKIP() << GetParam() << " is not installed";
        }
    }
    ScopedTimeZone tz_;
};

// Seconds since 1970 of a date-time, by plain arithmetic.
double unixSeconds(double dateTime) {
    return (dateTime - 25'569) * 86'400;
}

TEST_P(SystemUtcUnderTz, AgreesWithTheLibrarysUtc) {
    const SystemClock clock;
    const SystemZone zone;
    TimeRecordEncoder encoder(clock, zone);
    const time_t before = time(nullptr);
    LinkState state;
    std::uint8_t code = 0, status = 0;
    std::uint16_t f2 = 0, f3 = 0;
    encoder.EncodeTimeFields(state, code, f2, f3, status);
    const time_t after = time(nullptr);

    const double utc = unixSeconds(state.UtcNow);
    EXPECT_GE(utc, static_cast<double>(before) - 0.01);
    EXPECT_LT(utc, static_cast<double>(after) + 1.0);
}

INSTANTIATE_TEST_SUITE_P(Zones, SystemUtcUnderTz,
                         ::testing::Values("UTC0", "Asia/Kolkata", "America/New_York",
                                           "Europe/Berlin", "Australia/Sydney",
                                           "Australia/Lord_Howe", "XST3XDT,0/0,J365/25"),
                         [](const auto& row) {
                             std::string name;
                             for (char c : std::string(row.param)) {
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name;
                         });

}  // namespace
}  // namespace beamlink
