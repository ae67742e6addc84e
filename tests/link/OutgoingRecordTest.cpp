#include "OutgoingRecord.h"

#include <gtest/gtest.h>

namespace beamlink {
namespace {

struct WordCase {
    long double angle;
    std::uint16_t azimuth;
    std::uint16_t elevation;
};

class RecordWords : public ::testing::TestWithParam<WordCase> {};

TEST_P(RecordWords, AreTheLow16BitsOfTheTruncatedExtendedProduct) {
    const auto& c = GetParam();
    EXPECT_EQ(azimuthWord(c.angle), c.azimuth) << static_cast<double>(c.angle);
    EXPECT_EQ(elevationWord(c.angle), c.elevation) << static_cast<double>(c.angle);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RecordWords,
    ::testing::Values(WordCase{43.2L, 4320, 4320}, WordCase{1.01L, 101, 101},
                      // Rounded to the 64-bit mantissa first: a double product gives 28.
                      WordCase{0.29L, 29, 29}, WordCase{359.99L, 35999, 35999},
                      WordCase{700.0L, 4464, 4464}, WordCase{1.5L, 150, 150},
                      // Below zero: azimuth wraps, elevation is |el| plus 36000.
                      WordCase{-1.5L, 65386, 36150}, WordCase{-1.01L, 65435, 36101},
                      WordCase{-0.004L, 0, 36000},
                      // Negative zero is not below zero.
                      WordCase{-0.0L, 0, 0}, WordCase{0.0L, 0, 0},
                      // 30000 + 36000 wraps modulo 65536.
                      WordCase{-300.0L, 35536, 464}));

TEST(RecordWords, NonFiniteAnglesDoNotCrash) {
    EXPECT_EQ(azimuthWord(__builtin_nanl("")), 0);
    EXPECT_EQ(elevationWord(__builtin_infl()), 0);
}

TEST(RecordFormat, FourFieldsEachFollowedByASpaceThenCarriageReturn) {
    EXPECT_EQ(formatRecord(67, 4320, 101, 12), "67 4320 101 12 \r");
    EXPECT_EQ(formatRecord(0, 0, 0, 0), "0 0 0 0 \r");
    EXPECT_EQ(formatRecord(255, 65535, 65535, 255), "255 65535 65535 255 \r");
}

}  // namespace
}  // namespace beamlink
