#include "TimeRecord.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "TransmitCycle.h"

namespace beamlink {
namespace {

DateTimeParts at(std::uint16_t y, std::uint16_t mo, std::uint16_t d, std::uint16_t h,
                 std::uint16_t mi, std::uint16_t s = 0, std::uint16_t ms = 0) {
    return {y, mo, d, h, mi, s, ms};
}

std::string show(const DateTimeParts& p) {
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", p.Year, p.Month, p.Day,
                  p.Hour, p.Minute, p.Second, p.MilliSecond);
    return text;
}

struct FakeClock final : LocalClock {
    double local = 0;
    double Now() const override { return local; }
};

struct FakeZone final : ZoneSource {
    ZoneInfo info{0, 0, 0, ZoneInfo::kStandard};
    ZoneInfo TimeZoneInformation() const override { return info; }
};

ZoneInfo standard(std::int32_t bias) {
    return {bias, 0, 0, ZoneInfo::kStandard};
}
ZoneInfo daylight(std::int32_t bias, std::int32_t daylightBias) {
    return {bias, 0, daylightBias, ZoneInfo::kDaylight};
}

// A link in "Update time" with the state window activation leaves, a fake clock and zone, and a
// writer that keeps what the cycle sends.
class TimeRecordCycle : public ::testing::Test {
protected:
    TimeRecordCycle() {
        state.LinkActive = true;
        state.TimePending = true;
        state.StatusFlag8 = state.StatusFlag4 = true;
        state.MoonAz = 43.2L;
        state.MoonEl = 1.01L;
        setLocal(at(2005, 3, 14, 8, 5, 30));
    }

    void setLocal(const DateTimeParts& p) { clock.local = EncodeDateTime(p); }

    std::vector<std::string> cycle() {
        std::vector<std::string> written;
        runTransmitCycle(
            state, true, [&](const std::string& r) { written.push_back(r); },
            [this](LinkState& s, std::uint8_t& code, std::uint16_t& f2, std::uint16_t& f3,
                   std::uint8_t& status) { encoder.EncodeTimeFields(s, code, f2, f3, status); });
        return written;
    }

    FakeClock clock;
    FakeZone zone;
    TimeRecordEncoder encoder{clock, zone};
    LinkState state;
};

using Records = std::vector<std::string>;
constexpr const char* kPosition = "67 4320 101 12 \r";

TEST_F(TimeRecordCycle, SendsTheUtcFieldsInPlaceOfThePositionRecord) {
    setLocal(at(2005, 3, 14, 8, 5, 30, 250));
    EXPECT_EQ(cycle(), Records{"222 1288 3587 5 \r"});
    EXPECT_TRUE(state.TimePending);
    EXPECT_EQ(state.StatusByte, 0);
    EXPECT_DOUBLE_EQ(state.UtcNow, clock.local);
    // The millisecond is decoded and kept, though not sent.
    EXPECT_EQ(encoder.lastDecoded(), at(2005, 3, 14, 8, 5, 30, 250));
}

TEST_F(TimeRecordCycle, ControlRecordsInATimeCycleCarryTheMoonWords) {
    state.ControlPending = state.StopPending = true;
    EXPECT_EQ(cycle(), (Records{"68 4320 101 68 \r", "69 4320 101 69 \r", "222 1288 3587 5 \r"}));
}

TEST_F(TimeRecordCycle, EachCycleCarriesTheTimeOfItsOwnSecond) {
    setLocal(at(2005, 3, 14, 8, 5, 30, 100));
    const Records first = cycle();
    setLocal(at(2005, 3, 14, 8, 5, 30, 900));
    EXPECT_EQ(cycle(), first) << "same second, same record";
    setLocal(at(2005, 3, 14, 8, 5, 31, 100));
    EXPECT_EQ(cycle(), Records{"223 1288 3587 5 \r"}) << "next second: only the code moves";
    setLocal(at(2005, 3, 14, 8, 5, 59, 999));
    EXPECT_EQ(cycle(), Records{"251 1288 3587 5 \r"});
}

TEST_F(TimeRecordCycle, AcknowledgedYearEndsTheUpdateWithCode67AndTheTimeWords) {
    struct Case {
        DateTimeParts local;
        std::int32_t ack;
        const char* acknowledging;
    };
    const Case cases[] = {
        {at(2005, 3, 14, 8, 5, 30), 5, "67 1288 3587 0 \r"},
        // A year field read whole (26) acknowledges a 2026 clock.
        {at(2026, 3, 14, 8, 5, 30), 26, "67 1288 3587 0 \r"},
        // Before any report AckValue is 0, which matches only the year 2000.
        {at(2000, 1, 1, 0, 0, 0), 0, "67 0 257 0 \r"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(show(c.local));
        state.TimePending = true;
        state.AckValue = c.ack;
        setLocal(c.local);
        EXPECT_EQ(cycle(), Records{c.acknowledging});
        EXPECT_FALSE(state.TimePending);
        EXPECT_EQ(state.StatusByte, 0);
        EXPECT_EQ(cycle(), Records{kPosition});
        EXPECT_EQ(cycle(), Records{kPosition});
    }
}

TEST_F(TimeRecordCycle, UnacknowledgedTimeRecordsGoOn) {
    const std::int32_t wrongAcks[] = {0, 4, 6, 205, 261, -251};
    for (std::int32_t ack : wrongAcks) {
        SCOPED_TRACE(ack);
        state.AckValue = ack;
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(cycle(), Records{"222 1288 3587 5 \r"});
        }
        EXPECT_TRUE(state.TimePending);
    }
}

struct ZoneCase {
    const char* name;
    DateTimeParts local;
    ZoneInfo zone;
    DateTimeParts utc;
};
void PrintTo(const ZoneCase& c, std::ostream* os) {
    *os << c.name;
}

class TimeRecordZone : public ::testing::TestWithParam<ZoneCase> {};

TEST_P(TimeRecordZone, UtcIsLocalPlusBiasAndDaylightBiasOnlyInDaylight) {
    const auto& c = GetParam();
    FakeClock clock;
    FakeZone zone;
    clock.local = EncodeDateTime(c.local);
    zone.info = c.zone;
    TimeRecordEncoder encoder(clock, zone);
    LinkState state;
    std::uint8_t code = 0, status = 0;
    std::uint16_t f2 = 0, f3 = 0;
    encoder.EncodeTimeFields(state, code, f2, f3, status);

    EXPECT_EQ(show(encoder.lastDecoded()), show(c.utc));
    EXPECT_EQ(show(DecodeDateTime(state.UtcNow)), show(c.utc));
    EXPECT_EQ(code, c.utc.Second + 192);
    EXPECT_EQ(f2, c.utc.Minute * 256 + c.utc.Hour);
    EXPECT_EQ(f3, c.utc.Day * 256 + c.utc.Month);
    EXPECT_EQ(status, (c.utc.Year - 2000) & 0xFF);
}

INSTANTIATE_TEST_SUITE_P(
    Zones, TimeRecordZone,
    ::testing::Values(
        ZoneCase{"EastOfUtcStandard", at(2005, 3, 14, 16, 23), standard(-60),
                 at(2005, 3, 14, 15, 23)},
        ZoneCase{"EastOfUtcDaylight", at(2005, 7, 14, 17, 23), daylight(-60, -60),
                 at(2005, 7, 14, 15, 23)},
        ZoneCase{"WestCrossingMidnightForward", at(2005, 1, 1, 0, 30), standard(60),
                 at(2005, 1, 1, 1, 30)},
        ZoneCase{"EastCrossingIntoThePreviousYear", at(2005, 1, 1, 0, 30), standard(-60),
                 at(2004, 12, 31, 23, 30)},
        ZoneCase{"DaylightStepCrossesMidnight", at(2005, 7, 1, 0, 30), daylight(-60, -60),
                 at(2005, 6, 30, 22, 30)},
        ZoneCase{"HalfHourZone", at(2005, 3, 1, 5, 0, 0, 1), standard(-330),
                 at(2005, 2, 28, 23, 30, 0, 1)},
        ZoneCase{"LeapDay", at(2004, 3, 1, 0, 15, 59, 999), standard(-60),
                 at(2004, 2, 29, 23, 15, 59, 999)},
        ZoneCase{"YearField2255", at(2255, 12, 31, 23, 0), standard(0), at(2255, 12, 31, 23, 0)},
        ZoneCase{"YearFieldWrapsAfter2255", at(2255, 12, 31, 23, 0), standard(60),
                 at(2256, 1, 1, 0, 0)},
        ZoneCase{"YearBefore2000", at(1999, 12, 31, 23, 0), standard(0), at(1999, 12, 31, 23, 0)},
        // Only result code 2 adds DaylightBias; StandardBias is never added.
        ZoneCase{"StandardIgnoresDaylightBias", at(2005, 3, 14, 16, 23),
                 ZoneInfo{-60, 0, -60, ZoneInfo::kStandard}, at(2005, 3, 14, 15, 23)},
        ZoneCase{"UnknownIgnoresDaylightBias", at(2005, 3, 14, 16, 23),
                 ZoneInfo{-60, 0, -60, ZoneInfo::kUnknown}, at(2005, 3, 14, 15, 23)},
        ZoneCase{"FailureIgnoresDaylightBias", at(2005, 3, 14, 16, 23),
                 ZoneInfo{-60, 0, -60, 0xFFFFFFFFu}, at(2005, 3, 14, 15, 23)},
        ZoneCase{"OtherCodeIgnoresDaylightBias", at(2005, 3, 14, 16, 23), ZoneInfo{-60, 0, -60, 3},
                 at(2005, 3, 14, 15, 23)},
        ZoneCase{"StandardBiasNeverAdded", at(2005, 3, 14, 16, 23),
                 ZoneInfo{-60, 120, 0, ZoneInfo::kStandard}, at(2005, 3, 14, 15, 23)},
        ZoneCase{"StandardBiasNeverAddedInDaylight", at(2005, 7, 14, 17, 23),
                 ZoneInfo{-60, 120, -60, ZoneInfo::kDaylight}, at(2005, 7, 14, 15, 23)}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(TimeRecordArithmetic, ZoneStepsKeepTheMillisecond) {
    // The minute steps run through a float constant and a double result; the decoded UTC must
    // still be the exact millisecond. Compared against integer arithmetic on a millisecond count.
    const std::int32_t biases[] = {-840, -330, -60, 0, 45, 60, 345, 720};
    constexpr std::int64_t kMsPerDay = 86'400'000;
    const std::int64_t firstMs = static_cast<std::int64_t>(38'425) * kMsPerDay;
    FakeClock clock;
    FakeZone zone;
    TimeRecordEncoder encoder(clock, zone);
    for (std::int32_t bias : biases) {
        zone.info = daylight(bias, -60);
        for (std::int64_t ms = firstMs; ms < firstMs + 2 * kMsPerDay; ms += 7'919) {
            clock.local = static_cast<double>(ms) / kMsPerDay;
            const std::int64_t utcMs = ms + (bias - 60) * std::int64_t{60'000};
            const double exact = static_cast<double>(utcMs) / kMsPerDay;
            const DateTimeParts got = DecodeDateTime(encoder.ComputeUtcNow());
            if (got != DecodeDateTime(exact)) {
                FAIL() << "bias " << bias << ", local ms " << ms << ": " << show(got)
                       << " instead of " << show(DecodeDateTime(exact));
            }
        }
    }
}

}  // namespace
}  // namespace beamlink
