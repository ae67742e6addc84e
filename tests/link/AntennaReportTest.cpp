#include "AntennaReport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ComDataPacket.h"
#include "FloatText.h"

namespace beamlink {
namespace {

// Values from an earlier report, to see which ones a failing report leaves alone.
constexpr long double kOldAz = -1;
constexpr long double kOldEl = -2;
constexpr std::int32_t kOldAck = -3;

struct ReportCase {
    const char* text;
    char separator;
    long double az;
    long double el;
    std::int32_t ack;
    const char* azLabel;  // nullptr: the report fails and returns no labels
    const char* elLabel;
};

TEST(AntennaReport, StoresEachValueAsItConvertsAndLabelsOnlyACompleteReport) {
    const ReportCase cases[] = {
        {"123.4 45.6 9", '.', 123.4L, 45.6L, 9, "123.4", " 45.6"},
        {"0 -0.04 0", '.', 0, -0.04L, 0, "  0.0", "  0.0"},
        // The whole third field, so an echoed two-digit year acknowledges a time record.
        {"1 2 12", '.', 1, 2, 12, "  1.0", "  2.0"},
        {"1 2 26", '.', 1, 2, 26, "  1.0", "  2.0"},
        {"1 2 3 4", '.', 1, 2, 3, "  1.0", "  2.0"},
        {"1 2 3\r", '.', 1, 2, kOldAck, nullptr, nullptr},
        {"1 2 ", '.', 1, 2, kOldAck, nullptr, nullptr},
        {"1 2 x", '.', 1, 2, kOldAck, nullptr, nullptr},
        {"1 2  3", '.', 1, 2, kOldAck, nullptr, nullptr},
        // Without a second space field 2 is empty.
        {"10 20", '.', 10, kOldEl, kOldAck, nullptr, nullptr},
        {"x 1 2", '.', kOldAz, kOldEl, kOldAck, nullptr, nullptr},
        {" 1 2 3", '.', kOldAz, kOldEl, kOldAck, nullptr, nullptr},
        {"", '.', kOldAz, kOldEl, kOldAck, nullptr, nullptr},
        {"1\r 2 3", '.', kOldAz, kOldEl, kOldAck, nullptr, nullptr},
        // 21 characters: the buffer keeps 20, which ends at the second space.
        {"1234.5678 123.45678 9", '.', 1234.5678L, 123.45678L, kOldAck, nullptr, nullptr},
        {"1234.5 12.45678 9876", '.', 1234.5L, 12.45678L, 9876, "1234.5", " 12.5"},
        {"1234.5 12.45678 98765", '.', 1234.5L, 12.45678L, 9876, "1234.5", " 12.5"},
        // The unit writes '.', a user with a decimal comma may see either.
        {"123,4 45,6 9", ',', 123.4L, 45.6L, 9, "123,4", " 45,6"},
        {"123.4 45.6 9", ',', 123.4L, 45.6L, 9, "123,4", " 45,6"},
        {"123,4 45.6 9", '.', kOldAz, kOldEl, kOldAck, nullptr, nullptr},
        {"1,5 2.5,0 1", ',', 1.5L, kOldEl, kOldAck, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("'") + c.text + "' with '" + c.separator + "'");
        LinkState state;
        state.AntennaAz = kOldAz;
        state.AntennaEl = kOldEl;
        state.AckValue = kOldAck;
        if (c.azLabel != nullptr) {
            AntennaLabels labels = handleAntennaReport(state, c.text, c.separator);
            EXPECT_EQ(labels.azimuth, c.azLabel);
            EXPECT_EQ(labels.elevation, c.elLabel);
        } else {
            EXPECT_THROW(handleAntennaReport(state, c.text, c.separator), EConvertError);
        }
        EXPECT_EQ(state.AntennaAz, c.az);
        EXPECT_EQ(state.AntennaEl, c.el);
        EXPECT_EQ(state.AckValue, c.ack);
    }
}

TEST(AntennaReport, ErrorNamesTheFieldThatFailed) {
    LinkState state;
    try {
        handleAntennaReport(state, "1 2 9x", '.');
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'9x' is not a valid integer value");
    }
}

// Framed as the window frames the port: each report reaches the handler on its own, so two
// reports in one chunk both count and the later one is what stays.
TEST(AntennaReport, BackToBackReportsInOneChunkAreBothHandled) {
    LinkState state;
    std::vector<AntennaLabels> shown;
    TComDataPacket framing;
    framing.setStartString("A ");
    framing.setStopString("\r");
    framing.setSize(24);
    framing.OnPacket = [&](const std::string& Str) {
        shown.push_back(handleAntennaReport(state, Str, '.'));
    };

    framing.HandleData("A 123.4 45.6 9\rA 12.3 4.5 1\r");

    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].azimuth, "123.4");
    EXPECT_EQ(shown[1].azimuth, " 12.3");
    EXPECT_EQ(shown[1].elevation, "  4.5");
    EXPECT_EQ(state.AntennaAz, 12.3L);
    EXPECT_EQ(state.AntennaEl, 4.5L);
    EXPECT_EQ(state.AckValue, 1);
}

}  // namespace
}  // namespace beamlink
