#include "AntennaModel.h"

#include <gtest/gtest.h>

#include <vector>

namespace beamlink::sim {
namespace {

TEST(AntennaWords, DecodeAsTheProgramEncodesThem) {
    struct Case {
        unsigned word;
        long double az, el;
    };
    for (auto c : {Case{4320, 43.2L, 43.2L}, Case{101, 1.01L, 1.01L}, Case{36150, 361.5L, -1.5L},
                   Case{36000, 360.0L, 0.0L}, Case{35999, 359.99L, 359.99L}}) {
        EXPECT_NEAR(static_cast<double>(azimuthOfWord(c.word)), static_cast<double>(c.az), 1e-9)
            << c.word;
        EXPECT_NEAR(static_cast<double>(elevationOfWord(c.word)), static_cast<double>(c.el), 1e-9)
            << c.word;
    }
}

const ReceivedRecord kStart10And2{68, 1000, 200, 68};
const ReceivedRecord kStop{69, 1000, 200, 69};
ReceivedRecord position(unsigned azWord, unsigned elWord) {
    return {67, azWord, elWord, 12};
}

struct Event {
    double t;
    ReceivedRecord record;
};
struct Check {
    double t;
    double az, el;
};
struct MotionCase {
    const char* name;
    std::vector<Event> events;
    std::vector<Check> checks;
};

class Motion : public ::testing::TestWithParam<MotionCase> {};

// Slew 5 degrees per second on each axis, from 0/0.
TEST_P(Motion, FollowsTheCommandsAtTheSlewRate) {
    AntennaModel model(5.0);
    for (const auto& e : GetParam().events) {
        model.apply(e.record, e.t);
    }
    for (const auto& c : GetParam().checks) {
        EXPECT_NEAR(static_cast<double>(model.az(c.t)), c.az, 1e-9) << "t=" << c.t;
        EXPECT_NEAR(static_cast<double>(model.el(c.t)), c.el, 1e-9) << "t=" << c.t;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Motion,
    ::testing::Values(
        MotionCase{"HoldsUntilControlStarts", {{0, position(1000, 200)}}, {{10, 0, 0}}},
        MotionCase{"SlewsThenStopsAtTheTarget",
                   {{0, kStart10And2}},
                   {{0.2, 1, 1}, {1, 5, 2}, {2, 10, 2}, {30, 10, 2}}},
        MotionCase{
            "StopControlHoldsWhereItIs", {{0, kStart10And2}, {1, kStop}}, {{1, 5, 2}, {9, 5, 2}}},
        MotionCase{"ANewCommandTurnsFromWhereItIs",
                   {{0, kStart10And2}, {1, position(0, 36100)}},
                   {{1.5, 2.5, -0.5}, {2, 0, -1}, {3, 0, -1}}},
        // 67 1288 3587 0 acknowledges a time update; its words are 08:05 on 14 March.
        MotionCase{"AcknowledgedTimeRecordCommandsNothing",
                   {{0, kStart10And2}, {1, {222, 1288, 3587, 5}}, {1, {67, 1288, 3587, 0}}},
                   {{2, 10, 2}, {30, 10, 2}}},
        MotionCase{"StartsMovingAtTheStart",
                   {{0, position(500, 0)}, {2, ReceivedRecord{68, 500, 0, 68}}},
                   {{2, 0, 0}, {3, 5, 0}}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(AntennaModel, AckIsTheYearFieldOfTheLastTimeRecord) {
    AntennaModel model;
    EXPECT_EQ(model.ack(), 0);
    model.apply({222, 1288, 3587, 26}, 0);
    model.apply(position(1, 2), 0);
    EXPECT_EQ(model.ack(), 26);
    model.apply({200, 1, 1, 5}, 0);
    EXPECT_EQ(model.ack(), 5);
}

}  // namespace
}  // namespace beamlink::sim
