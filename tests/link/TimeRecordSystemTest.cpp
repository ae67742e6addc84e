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

double realSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Seconds since 1970 of a date-time, by plain arithmetic.
double unixSeconds(double dateTime) {
    return (dateTime - 25'569) * 86'400;
}

TEST_P(SystemUtcUnderTz, AgreesWithTheLibrarysUtc) {
    const SystemClock clock;
    const SystemZone zone;
    TimeRecordEncoder encoder(clock, zone);
    // clock_gettime, not time(): glibc's time() reads a coarse clock that may lag a tick.
    const double before = realSeconds();
    LinkState state;
    std::uint8_t code = 0, status = 0;
    std::uint16_t f2 = 0, f3 = 0;
    encoder.EncodeTimeFields(state, code, f2, f3, status);
    const double after = realSeconds();

    // The local clock counts whole milliseconds.
    const double utc = unixSeconds(state.UtcNow);
    EXPECT_GE(utc, before - 0.002);
    EXPECT_LE(utc, after + 0.002);
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
