#include "TelnetCodec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace beamlink::telnet {
namespace {

using Kind = TelnetItem::Kind;

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) {
        out.push_back(static_cast<char>(v));
    }
    return out;
}

TelnetItem data(std::string text) {
    return {Kind::Data, 0, 0, std::move(text)};
}
TelnetItem neg(std::uint8_t command, std::uint8_t option) {
    return {Kind::Negotiation, command, option, {}};
}
TelnetItem sub(std::string body) {
    return {Kind::Subnegotiation, 0, 0, std::move(body)};
}

std::vector<TelnetItem> decode(const std::vector<std::string>& chunks) {
    TelnetDecoder decoder;
    std::vector<TelnetItem> out;
    for (const auto& chunk : chunks) {
        decoder.feed(chunk, out);
    }
    return out;
}

struct DecodeCase {
    const char* name;
    std::vector<std::string> chunks;
    std::vector<TelnetItem> items;
};

class Decode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Decode, GivesDataNegotiationsAndSubnegotiationsInOrder) {
    EXPECT_EQ(decode(GetParam().chunks), GetParam().items);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Decode,
    ::testing::Values(DecodeCase{"PlainData", {"A 1.0 2.0 0\r"}, {data("A 1.0 2.0 0\r")}},
                      DecodeCase{"DoubledIacIsOneDataByte",
                                 {bytes({'a', 255, 255, 'b'})},
                                 {data("a\xff"
                                       "b")}},
                      DecodeCase{"DoubledIacSplitAcrossReads",
                                 {bytes({'a', 255}), bytes({255, 'b'})},
                                 {data("a\xff"
                                       "b")}},
                      DecodeCase{"NegotiationSplitAcrossReads",
                                 {bytes({255}), bytes({kWill}), bytes({kOptComPort})},
                                 {neg(kWill, kOptComPort)}},
                      DecodeCase{"DataAroundANegotiation",
                                 {bytes({'x', 255, kDo, 24, 'y'})},
                                 {data("x"), neg(kDo, 24), data("y")}},
                      DecodeCase{"IacInsideSubnegotiation",
                                 {bytes({255, kSb, 44, 101, 0, 0, 255, 255, 0, 255, kSe})},
                                 {sub(bytes({44, 101, 0, 0, 255, 0}))}},
                      DecodeCase{"SeSplitAcrossReads",
                                 {bytes({255, kSb, 44, 107, 0x10, 255}), bytes({kSe, 'z'})},
                                 {sub(bytes({44, 107, 0x10})), data("z")}},
                      DecodeCase{"ZeroValueKept",
                                 {bytes({255, kSb, 44, 107, 0x00, 255, kSe})},
                                 {sub(bytes({44, 107, 0x00}))}},
                      DecodeCase{"OtherCommandsAreCommands",
                                 {bytes({255, 241, 'q'})},
                                 {TelnetItem{Kind::Command, 241, 0, {}}, data("q")}},
                      DecodeCase{"UnendedSubnegotiationGivesWayToANegotiation",
                                 {bytes({255, kSb, 44, 7, 255, kWill, 1, 'k'})},
                                 {neg(kWill, 1), data("k")}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(TelnetDecoder, DropsAnOverlongSubnegotiationAndKeepsWhatFollows) {
    std::string body(TelnetDecoder::kMaxSubnegotiation + 10, 'x');
    auto items = decode({bytes({255, kSb}) + body + bytes({255, kSe}) + "ok"});
    EXPECT_EQ(items, std::vector<TelnetItem>{data("ok")});
}

// Whatever the split, the stream decodes to the same items.
TEST(TelnetDecoder, AnySplitGivesTheSameItems) {
    std::string stream =
        escapeData(bytes({'a', 255, 'b'})) + negotiation(kDo, kOptBinary) +
        comPortCommand(cpo::kSetBaudRate + cpo::kServerReply, baudRateValue(0x00FFFF01)) +
        escapeData(bytes({255, 255, '\r'}));
    auto whole = decode({stream});
    ASSERT_EQ(whole.size(), 4u);
    for (std::size_t cut = 1; cut < stream.size(); ++cut) {
        EXPECT_EQ(decode({stream.substr(0, cut), stream.substr(cut)}), whole) << "cut at " << cut;
    }
    std::vector<std::string> single;
    for (char c : stream) {
        single.emplace_back(1, c);
    }
    EXPECT_EQ(decode(single), whole);
}

struct RefusalCase {
    std::uint8_t command;
    std::string answer;
};

class Refusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(Refusal, AnswersOnlyRequestsToEnable) {
    EXPECT_EQ(refusal(GetParam().command, kOptEcho), GetParam().answer);
}

INSTANTIATE_TEST_SUITE_P(Cases, Refusal,
                         ::testing::Values(RefusalCase{kWill, bytes({255, kDont, kOptEcho})},
                                           RefusalCase{kDo, bytes({255, kWont, kOptEcho})},
                                           RefusalCase{kWont, ""}, RefusalCase{kDont, ""}));

TEST(TelnetEncoder, DoublesIacInDataAndInComPortValues) {
    EXPECT_EQ(escapeData(bytes({1, 255, 2, 255})), bytes({1, 255, 255, 2, 255, 255}));
    EXPECT_EQ(comPortCommand(cpo::kSetBaudRate, baudRateValue(0xFF00FF00u)),
              bytes({255, kSb, 44, 1, 255, 255, 0, 255, 255, 0, 255, kSe}));
    EXPECT_EQ(comPortCommand(cpo::kNotifyModemState), bytes({255, kSb, 44, 7, 255, kSe}));
}

TEST(TelnetEncoder, BaudRateIsFourBytesInNetworkOrder) {
    EXPECT_EQ(baudRateValue(9600), bytes({0, 0, 0x25, 0x80}));
    EXPECT_EQ(baudRateFromValue(baudRateValue(256000)), 256000u);
    EXPECT_EQ(baudRateFromValue(bytes({0, 1})), 0u);
}

}  // namespace
}  // namespace beamlink::telnet
