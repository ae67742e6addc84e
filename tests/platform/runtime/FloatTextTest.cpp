#include "FloatText.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>

namespace beamlink {
namespace {

struct FloatCase {
    const char* text;
    const char* separators;
    std::optional<long double> expected;  // nullopt: the text does not convert
};

TEST(TextToFloat, AcceptsThePlatformSyntaxAndNothingElse) {
    const FloatCase cases[] = {
        {"43.2", ".", 43.2L},
        {"0.29", ".", 0.29L},
        {"  -12.5  ", ".", -12.5L},
        {"+.5", ".", 0.5L},
        {"5.", ".", 5.0L},
        {".", ".", 0.0L},
        {"-.", ".", -0.0L},
        {"1E", ".", 1.0L},
        {"1e+", ".", 1.0L},
        {"2.5E3", ".", 2500.0L},
        {"25e-1", ".", 2.5L},
        {".E5", ".", 0.0L},
        {"007", ".", 7.0L},
        {"1e-99999", ".", 0.0L},
        {"", ".", std::nullopt},
        {"   ", ".", std::nullopt},
        {"-", ".", std::nullopt},
        {"+", ".", std::nullopt},
        {"E5", ".", std::nullopt},
        {"+-1", ".", std::nullopt},
        {"- 1", ".", std::nullopt},
        {"1 2", ".", std::nullopt},
        {"1.2.3", ".", std::nullopt},
        {"1,000", ".", std::nullopt},
        {"1e5e5", ".", std::nullopt},
        {"1e+-5", ".", std::nullopt},
        {"\t1", ".", std::nullopt},
        {"1\r", ".", std::nullopt},
        {"1\rA", ".", std::nullopt},
        {"0x10", ".", std::nullopt},
        {"inf", ".", std::nullopt},
        {"nan", ".", std::nullopt},
        {"1e5000", ".", std::nullopt},
        // Both separators of a comma locale, but still only one of them in a number.
        {"1,5", ".,", 1.5L},
        {"1.5", ".,", 1.5L},
        {",", ".,", 0.0L},
        {"1.5,0", ".,", std::nullopt},
        {"1,5", ",", 1.5L},
        {"1.5", ",", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("'") + c.text + "' with '" + c.separators + "'");
        long double value = -1234;
        bool ok = TextToFloat(c.text, c.separators, value);
        ASSERT_EQ(ok, c.expected.has_value());
        if (ok) {
            EXPECT_EQ(value, *c.expected);
            EXPECT_EQ(std::signbit(value), std::signbit(*c.expected));
        } else {
            EXPECT_EQ(value, -1234) << "a failed conversion must not write the result";
        }
    }
}

TEST(TextToFloat, IsCorrectlyRoundedToExtendedPrecision) {
    // Sent angles are products of these values; a double-precision read would be off by one ulp
    // in the extended result and give a different word on the wire.
    EXPECT_EQ(StrToFloat("0.29", "."), 0.29L);
    EXPECT_EQ(StrToFloat("43.2", "."), 43.2L);
    EXPECT_EQ(StrToFloat("1.01", "."), 1.01L);
    EXPECT_NE(StrToFloat("0.29", "."), static_cast<long double>(0.29));
    EXPECT_EQ(StrToFloat("0.1000000000000000000000000000001", "."), 0.1L);
}

// Switches the process to a locale whose decimal point is a comma, as the toolkit would for
// such a user; skips when the machine has none.
class CommaLocale : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = setlocale(LC_ALL, nullptr);
        for (const char* name :
             {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "nl_NL.UTF-8"}) {
            if (setlocale(LC_ALL, name) != nullptr && localeconv()->decimal_point[0] == ',') {
                return;
            }
        }
        setlocale(LC_ALL, previous_.c_str());
        GTEST_SKIP() << "no locale with a decimal comma installed";
    }
    void TearDown() override { setlocale(LC_ALL, previous_.c_str()); }

private:
    std::string previous_;
};

TEST_F(CommaLocale, ConversionsIgnoreTheProcessLocale) {
    EXPECT_EQ(StrToFloat("43.2", "."), 43.2L);
    long double value = 0;
    EXPECT_FALSE(TextToFloat("43,2", ".", value));
    EXPECT_EQ(FormatFixed(43.25L, 5, 1, '.'), " 43.3");
    EXPECT_EQ(FloatToStr(43.2L, '.'), "43.2");
}

TEST(StrToFloat, ErrorQuotesTheTextAsGiven) {
    try {
        StrToFloat(" 1x ", ".");
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "' 1x ' is not a valid floating point value");
    }
}

struct IntCase {
    const char* text;
    std::optional<std::int32_t> expected;
};

TEST(StrToInt, ReadsWholeThirtyTwoBitDecimals) {
    const IntCase cases[] = {
        {"0", 0},
        {"9", 9},
        {"12", 12},
        {"26", 26},
        {"+7", 7},
        {"-7", -7},
        {"00000000000000000042", 42},
        {"2147483647", 2147483647},
        {"-2147483648", std::numeric_limits<std::int32_t>::min()},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"99999999999999999999999", std::nullopt},
        {"", std::nullopt},
        {"-", std::nullopt},
        {"+", std::nullopt},
        {" 1", std::nullopt},
        {"1 ", std::nullopt},
        {"1.0", std::nullopt},
        {"9\r", std::nullopt},
        {"x", std::nullopt},
        {"1e2", std::nullopt},
        {"0x1F", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("'") + c.text + "'");
        if (c.expected) {
            EXPECT_EQ(StrToInt(c.text), *c.expected);
        } else {
            EXPECT_THROW(StrToInt(c.text), EConvertError);
        }
    }
}

TEST(StrToInt, ErrorQuotesTheTextAsGiven) {
    try {
        StrToInt("4a");
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'4a' is not a valid integer value");
    }
}

struct FixedCase {
    long double value;
    const char* dot;    // width 5, precision 1, '.'
    const char* comma;  // the same under ','
};

TEST(FormatFixed, LabelFormatRoundsHalvesAwayAfterEighteenDigits) {
    const FixedCase cases[] = {
        {123.45L, "123.5", "123,5"},  // just below .45 in binary: the 18-digit step makes it .45
        {5.0L, "  5.0", "  5,0"},
        {-7.25L, " -7.3", " -7,3"},  // an exact half goes away from zero
        {359.99L, "360.0", "360,0"},
        {0.05L, "  0.1", "  0,1"},
        {-0.04L, "  0.0", "  0,0"},  // no minus on a zero result
        {1234.56L, "1234.6", "1234,6"},
        {0.25L, "  0.3", "  0,3"},
        {-0.25L, " -0.3", " -0,3"},
        {0.35L, "  0.4", "  0,4"},  // binary-below .35
        {-0.0L, "  0.0", "  0,0"},
        {0.0L, "  0.0", "  0,0"},
        {9.96L, " 10.0", " 10,0"},
        {-99999.96L, "-100000.0", "-100000,0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<double>(c.value));
        EXPECT_EQ(FormatFixed(c.value, 5, 1, '.'), c.dot);
        EXPECT_EQ(FormatFixed(c.value, 5, 1, ','), c.comma);
    }
}

TEST(FormatFixed, WidthAndPrecision) {
    EXPECT_EQ(FormatFixed(2.5L, 0, 0, '.'), "3");
    EXPECT_EQ(FormatFixed(-0.4L, 3, 0, '.'), "  0");
    EXPECT_EQ(FormatFixed(1.005L, 8, 2, '.'), "    1.01");
    EXPECT_EQ(FormatFixed(1.0L / 3, 1, 20, '.'), "0.33333333333333333300");
    EXPECT_EQ(FormatFixed(1e20L, 1, 1, '.'), "100000000000000000000.0");
    // Eighteen digits before the point leave none for a half in the fraction.
    EXPECT_EQ(FormatFixed(123456789012345678.5L, 1, 1, '.'), "123456789012345679.0");
    EXPECT_EQ(FormatFixed(1e-30L, 1, 3, '.'), "0.000");
    EXPECT_EQ(FormatFixed(-5e-4L, 1, 3, '.'), "-0.001");
}

TEST(FormatFixed, NonFiniteValuesGiveText) {
    const long double inf = std::numeric_limits<long double>::infinity();
    EXPECT_EQ(FormatFixed(std::numeric_limits<long double>::quiet_NaN(), 5, 1, '.'), "  NAN");
    EXPECT_EQ(FormatFixed(inf, 5, 1, '.'), "  INF");
    EXPECT_EQ(FormatFixed(-inf, 5, 1, '.'), " -INF");
    // Extremes of the range still print, if long.
    EXPECT_EQ(FormatFixed(std::numeric_limits<long double>::denorm_min(), 5, 1, '.'), "  0.0");
    EXPECT_EQ(FormatFixed(std::numeric_limits<long double>::max(), 5, 1, '.').size(), 4935u);
}

TEST(FloatToStr, GeneralFormat) {
    const struct {
        long double value;
        const char* text;
    } cases[] = {
        {43.2L, "43.2"},
        {1.01L, "1.01"},
        {0.0L, "0"},
        {-0.0L, "0"},
        {-5.0L, "-5"},
        {1e20L, "1E20"},
        {1.5e20L, "1.5E20"},
        {1.5e-6L, "1.5E-6"},
        {-1e-6L, "-1E-6"},
        {1e-5L, "0.00001"},
        {123456789012345.0L, "123456789012345"},
        {999999999999999.9L, "1E15"},
        {1e15L, "1E15"},
        {1.0L / 3, "0.333333333333333"},
        {2.0L / 3, "0.666666666666667"},
        {0.29L, "0.29"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(FloatToStr(c.value, '.'), c.text);
    }
    EXPECT_EQ(FloatToStr(43.2L, ','), "43,2");
    EXPECT_EQ(FloatToStr(1.01L, ','), "1,01");
    EXPECT_EQ(FloatToStr(1.5e20L, ','), "1,5E20");
    EXPECT_EQ(FloatToStr(std::numeric_limits<long double>::quiet_NaN(), '.'), "NAN");
}

}  // namespace
}  // namespace beamlink
