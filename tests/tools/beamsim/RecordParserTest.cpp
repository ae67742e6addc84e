#include "RecordParser.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace beamlink::sim {
namespace {

struct LineCase {
    const char* name;
    std::string line;  // without the carriage return
    std::optional<ReceivedRecord> record;
    RecordKind kind = RecordKind::Unknown;
};

class RecordLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(RecordLine, IsTakenOnlyWhenWellFormed) {
    RecordParser parser;
    std::vector<ReceivedRecord> out;
    parser.feed(GetParam().line + "\r", out);
    if (GetParam().record) {
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0], *GetParam().record);
        EXPECT_EQ(out[0].kind(), GetParam().kind);
        EXPECT_EQ(parser.rejectedCount(), 0u);
    } else {
        EXPECT_TRUE(out.empty());
        EXPECT_EQ(parser.rejectedCount(), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RecordLine,
    ::testing::Values(
        LineCase{"Position", "67 4320 101 12 ", ReceivedRecord{67, 4320, 101, 12},
                 RecordKind::Position},
        LineCase{"StartControl", "68 4320 101 68 ", ReceivedRecord{68, 4320, 101, 68},
                 RecordKind::StartControl},
        LineCase{"StopControl", "69 4320 101 69 ", ReceivedRecord{69, 4320, 101, 69},
                 RecordKind::StopControl},
        LineCase{"Time", "222 1288 3587 5 ", ReceivedRecord{222, 1288, 3587, 5}, RecordKind::Time},
        LineCase{"LastTimeCode", "251 0 0 26 ", ReceivedRecord{251, 0, 0, 26}, RecordKind::Time},
        LineCase{"AcknowledgedTimeIsCode67", "67 1288 3587 0 ", ReceivedRecord{67, 1288, 3587, 0},
                 RecordKind::Position},
        LineCase{"Zeros", "0 0 0 0 ", ReceivedRecord{0, 0, 0, 0}, RecordKind::Unknown},
        LineCase{"Limits", "255 65535 65535 255 ", ReceivedRecord{255, 65535, 65535, 255},
                 RecordKind::Unknown},
        LineCase{"StartWithOtherStatus", "68 1 2 12 ", ReceivedRecord{68, 1, 2, 12},
                 RecordKind::Unknown},
        LineCase{"NoSpaceBeforeCr", "67 4320 101 12", std::nullopt},
        LineCase{"TwoSpaces", "67  4320 101 12 ", std::nullopt},
        LineCase{"LeadingZero", "067 4320 101 12 ", std::nullopt},
        LineCase{"CodeTooLarge", "256 1 2 3 ", std::nullopt},
        LineCase{"WordTooLarge", "67 65536 1 2 ", std::nullopt},
        LineCase{"StatusTooLarge", "67 1 2 256 ", std::nullopt},
        LineCase{"ThreeFields", "67 4320 101 ", std::nullopt},
        LineCase{"FiveFields", "67 4320 101 12 1 ", std::nullopt},
        LineCase{"Sign", "67 -1 2 3 ", std::nullopt},
        LineCase{"Letters", "C 4320 101 12 ", std::nullopt},
        LineCase{"LineFeed", "\n67 4320 101 12 ", std::nullopt},
        LineCase{"Empty", "", std::nullopt}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(RecordParser, TakesRecordsSplitAnywhere) {
    std::string stream = "68 4320 101 68 \r67 4320 101 12 \r";
    RecordParser parser;
    std::vector<ReceivedRecord> out;
    for (char c : stream) {
        parser.feed(std::string(1, c), out);
    }
    EXPECT_EQ(out, (std::vector<ReceivedRecord>{{68, 4320, 101, 68}, {67, 4320, 101, 12}}));
}

TEST(RecordParser, ABadLineDoesNotTakeTheNextRecordWithIt) {
    RecordParser parser;
    std::vector<ReceivedRecord> out;
    parser.feed(std::string(200, 'x') + "\r" + "junk\r" + "67 4320 101 12 \r", out);
    EXPECT_EQ(out, (std::vector<ReceivedRecord>{{67, 4320, 101, 12}}));
    EXPECT_EQ(parser.rejectedCount(), 2u);
    EXPECT_EQ(parser.rejected().back(), "junk\r");
}

TEST(RecordParser, DescribesARecordOnOneLine) {
    EXPECT_EQ(describe({67, 4320, 101, 12}), "67 4320 101 12 (position)");
    EXPECT_EQ(describe({222, 1288, 3587, 5}), "222 1288 3587 5 (time)");
}

}  // namespace
}  // namespace beamlink::sim
