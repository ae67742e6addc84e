#include "ComDataPacket.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "PortDefaults.h"

namespace beamlink {
namespace {

// The framing the window uses: "A " ... CR, at most 24 characters.
struct Framer {
    TComDataPacket packet;
    std::vector<std::string> delivered;
    Framer() {
        initFraming(packet);
        prepareFraming(packet);
        packet.OnPacket = [this](const std::string& s) { delivered.push_back(s); };
    }
    std::vector<std::string> feed(const std::vector<std::string>& chunks) {
        for (const auto& c : chunks) {
            packet.HandleData(c);
        }
        return delivered;
    }
};

struct FramingCase {
    const char* name;
    std::vector<std::string> chunks;
    std::vector<std::string> delivered;
};

class Framing : public ::testing::TestWithParam<FramingCase> {};

TEST_P(Framing, DeliversTheTextBetweenStartStringAndCarriageReturn) {
    Framer f;
    EXPECT_EQ(f.feed(GetParam().chunks), GetParam().delivered);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Framing,
    ::testing::Values(
        FramingCase{"Report", {"A 123.4 45.6 9\r"}, {"123.4 45.6 9"}},
        FramingCase{"BytesBeforeStartDiscarded", {"xxA 1 2 3\r"}, {"1 2 3"}},
        FramingCase{"SplitAcrossChunks", {"A 12", "3.4 45.6 9\r"}, {"123.4 45.6 9"}},
        FramingCase{"StartStringSplit", {"xxA", " 1 2 3\r"}, {"1 2 3"}},
        FramingCase{"TwoShortReportsInOneChunk", {"A 1 2 3\rA 4 5 6\r"}, {"1 2 3", "4 5 6"}},
        // Each packet ends at its own carriage return, so neither report is cut or lost.
        FramingCase{"TwoFullReportsInOneChunk",
                    {"A 123.4 45.6 9\rA 12.3 4.5 1\r"},
                    {"123.4 45.6 9", "12.3 4.5 1"}},
        FramingCase{"EmptyReport", {"A \r"}, {""}},
        FramingCase{"StartStringIsCaseSensitive", {"a 1 2 3\r"}, {}},
        FramingCase{"LineFeedDiscardedBeforeNextReport",
                    {"A 359.9 -12.5 4\r\n", "A 1 2 3\r"},
                    {"359.9 -12.5 4", "1 2 3"}},
        // No carriage return within 24 characters: the first 24 are the packet.
        FramingCase{"SizeLimitWithoutCarriageReturn",
                    {"A 1234567890123456789012345\r"},
                    {"1234567890123456789012"}},
        FramingCase{"CarriageReturnAsTheLastOf24",
                    {"A 123456789012345678901\r"},
                    {"123456789012345678901"}},
        FramingCase{"WaitsForTheCarriageReturn", {"A 1 2"}, {}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(Framing, ResetDropsAPartialPacket) {
    Framer f;
    f.packet.HandleData("A 12");
    f.packet.ResetBuffer();  // what opening the port does
    EXPECT_EQ(f.feed({"A 123.4 45.6 9\r"}), std::vector<std::string>{"123.4 45.6 9"});
}

TEST(Framing, ReassigningTheSameStringsKeepsTheBufferAndNewOnesEmptyIt) {
    Framer f;
    f.packet.HandleData("A 12");
    prepareFraming(f.packet);
    EXPECT_EQ(f.packet.buffer(), "A 12");
    f.packet.setStopString("\n");
    EXPECT_EQ(f.packet.buffer(), "");
}

TEST(Framing, TextWithoutStartStringIsDiscardedAt1024Characters) {
    Framer f;
    f.packet.HandleData(std::string(1023, 'x'));
    EXPECT_EQ(f.packet.buffer().size(), 1023u);
    f.packet.HandleData("A");
    EXPECT_EQ(f.packet.buffer(), "");
    EXPECT_TRUE(f.feed({" 1 2 3\r"}).empty());
    EXPECT_EQ(f.feed({"A 4 5 6\r"}), std::vector<std::string>{"4 5 6"});
}

TEST(Framing, AHandlerErrorDoesNotHoldBackLaterPacketsOfTheChunk) {
    Framer f;
    f.packet.OnPacket = [&](const std::string& s) {
        f.delivered.push_back(s);
        if (s == "x") {
            throw std::runtime_error("bad report");
        }
    };
    EXPECT_THROW(f.packet.HandleData("A x\rA 1 2 3\r"), std::runtime_error);
    EXPECT_EQ(f.delivered, (std::vector<std::string>{"x", "1 2 3"}));
    EXPECT_EQ(f.packet.buffer(), "");
}

}  // namespace
}  // namespace beamlink
