#include "TransmitCycle.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace beamlink {
namespace {

// The state window activation leaves.
LinkState activated() {
    LinkState s;
    s.StatusFlag8 = s.StatusFlag4 = true;
    s.MoonAz = 43.2L;
    s.MoonEl = 1.01L;
    return s;
}

// Stands in for the time record: fixed fields, year field 26.
void fixedTime(LinkState&, std::uint8_t& code, std::uint16_t& f2, std::uint16_t& f3,
               std::uint8_t& status) {
    code = 222;
    f2 = 1288;
    f3 = 3587;
    status = 26;
}

constexpr const char* kStart = "68 4320 101 68 \r";
constexpr const char* kStop = "69 4320 101 69 \r";
constexpr const char* kPosition = "67 4320 101 12 \r";

struct CycleCase {
    const char* name;
    bool onOff;
    bool linkActive, controlPending, stopPending, timePending;
    std::int32_t ack;
    std::vector<std::string> written;
};

class TransmitCycle : public ::testing::TestWithParam<CycleCase> {};

TEST_P(TransmitCycle, WritesExactlyTheDueRecordsInOrder) {
    const auto& c = GetParam();
    LinkState s = activated();
    s.LinkActive = c.linkActive;
    s.ControlPending = c.controlPending;
    s.StopPending = c.stopPending;
    s.TimePending = c.timePending;
    s.AckValue = c.ack;
    std::vector<std::string> written;
    runTransmitCycle(
        s, c.onOff, [&](const std::string& r) { written.push_back(r); }, fixedTime);

    EXPECT_EQ(written, c.written);
    bool sent = !c.written.empty();
    EXPECT_EQ(s.ControlPending, c.controlPending && !sent);
    EXPECT_EQ(s.StopPending, c.stopPending && !sent);
    EXPECT_EQ(s.ControlStarted, c.controlPending && sent);
    EXPECT_EQ(s.TimePending, c.timePending && !(sent && c.ack == 26));
    EXPECT_EQ(s.StatusByte, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TransmitCycle,
    ::testing::Values(
        CycleCase{"CtsOffNeverSends", false, true, true, true, true, 0, {}},
        CycleCase{"InactiveLinkSendsNothing", true, false, true, true, false, 0, {}},
        CycleCase{"Position", true, true, false, false, false, 0, {kPosition}},
        CycleCase{"StartControlFirst", true, true, true, false, false, 0, {kStart, kPosition}},
        CycleCase{"StopControlFirst", true, true, false, true, false, 0, {kStop, kPosition}},
        CycleCase{
            "StartStopPosition", true, true, true, true, false, 0, {kStart, kStop, kPosition}},
        CycleCase{
            "TimeReplacesPosition", true, true, false, false, true, 5, {"222 1288 3587 26 \r"}},
        // Acknowledged: code 67, the time words, status 0.
        CycleCase{"TimeAcknowledged", true, true, false, false, true, 26, {"67 1288 3587 0 \r"}},
        // Control records carry the moon words even in a time cycle.
        CycleCase{"ControlRecordsKeepMoonWords",
                  true,
                  true,
                  true,
                  true,
                  true,
                  1,
                  {kStart, kStop, "222 1288 3587 26 \r"}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(TransmitCycle, StatusFollowsTheFourFlags) {
    LinkState s = activated();
    s.LinkActive = true;
    s.StatusFlag16 = s.StatusFlag2 = true;
    std::string written;
    runTransmitCycle(
        s, true, [&](const std::string& r) { written += r; }, fixedTime);
    EXPECT_EQ(written, "67 4320 101 30 \r");
}

// A write that throws ends the cycle at that write.
struct FailureCase {
    int failingWrite;  // 1: start-control, 2: stop-control, 3: position
    std::size_t writtenBefore;
    bool controlStarted;
    bool stopPending;
    std::uint8_t statusByte;  // not reset when the last write fails
};

class TransmitCycleFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(TransmitCycleFailure, EndsWhereTheWriteFailed) {
    const auto& c = GetParam();
    LinkState s = activated();
    s.LinkActive = s.ControlPending = s.StopPending = true;
    int writes = 0;
    std::size_t written = 0;
    auto writer = [&](const std::string&) {
        if (++writes == c.failingWrite) {
            throw std::runtime_error("WriteFile function failed (win error code: 5)");
        }
        ++written;
    };
    EXPECT_THROW(runTransmitCycle(s, true, writer, fixedTime), std::runtime_error);
    EXPECT_EQ(written, c.writtenBefore);
    EXPECT_FALSE(s.ControlPending);  // cleared before the first write, stays cleared
    EXPECT_EQ(s.ControlStarted, c.controlStarted);
    EXPECT_EQ(s.StopPending, c.stopPending);
    EXPECT_EQ(s.StatusByte, c.statusByte);
}

INSTANTIATE_TEST_SUITE_P(Table, TransmitCycleFailure,
                         ::testing::Values(FailureCase{1, 0, false, true, 0},
                                           FailureCase{2, 1, true, false, 0},
                                           FailureCase{3, 2, true, false, 12}));

}  // namespace
}  // namespace beamlink
