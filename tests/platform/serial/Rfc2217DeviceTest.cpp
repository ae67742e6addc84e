#include "Rfc2217Device.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "BeamSim.h"
#include "EComPort.h"
#include "ScriptedServer.h"
#include "WaitForEvents.h"

namespace beamlink {
namespace {

using namespace std::chrono_literals;
using testing::ScriptedServer;
using testing::ServerScript;
namespace cpo = telnet::cpo;

// Short enough that failure cases finish quickly, long enough for a loaded machine.
const Rfc2217Timeouts kTestTimeouts{2000ms, 1000ms, 1000ms};

NetworkPort whereOf(const sim::BeamSim& sim) {
    return {"127.0.0.1", sim.port()};
}

LineEvents waitEvents(SerialDevice& device, std::chrono::milliseconds timeout = 5s) {
    return testing::waitForEvents(device, timeout);
}

// Collects batches until the received data holds marker; the events are or-ed together.
LineEvents eventsUntilData(SerialDevice& device, const std::string& marker, std::string& data) {
    LineEvents total;
    while (data.find(marker) == std::string::npos) {
        LineEvents e = waitEvents(device);
        if (!e.any()) {
            ADD_FAILURE() << "no data " << marker;
            break;
        }
        total.rxChar |= e.rxChar;
        total.cts |= e.cts;
        total.other |= e.other;
        total.gone |= e.gone;
        if (e.rxChar) {
            data += device.readQueued();
        }
    }
    return total;
}

std::string messageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EComPort& e) {
        return e.what();
    }
    return "no error";
}

// --- line settings ------------------------------------------------------------------------

struct SettingsCase {
    const char* name;
    PortSettings settings;
    sim::LineSettings expected;
};

PortSettings makeSettings(TBaudRate rate, int custom, TDataBits data, TParityBits parity,
                          TStopBits stop, TFlowControl flow) {
    PortSettings s;
    s.BaudRate = rate;
    s.CustomBaudRate = custom;
    s.DataBits = data;
    s.Parity.Bits = parity;
    s.StopBits = stop;
    s.FlowControl.apply(flow);
    return s;
}

class Settings : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(Settings, ReachTheServerAndDtrAndRtsGoOff) {
    sim::BeamSim sim;
    Rfc2217Device device(whereOf(sim), kTestTimeouts);
    device.open(GetParam().settings);
    EXPECT_TRUE(sim.waitForClient(5000));
    EXPECT_EQ(sim.lineSettings(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Settings,
    ::testing::Values(
        SettingsCase{"Defaults", PortSettings{}, {9600, 8, 1, 1, {1, 9, 12}}},
        SettingsCase{"Hardware7E2",
                     makeSettings(TBaudRate::br256000, 0, TDataBits::dbSeven, TParityBits::prEven,
                                  TStopBits::sbTwoStopBits, TFlowControl::fcHardware),
                     // The handshake drives RTS: no RTS off after hardware flow.
                     {256000, 7, 3, 2, {3, 9}}},
        SettingsCase{
            "Software5Mark",
            makeSettings(TBaudRate::brCustom, 31250, TDataBits::dbFive, TParityBits::prMark,
                         TStopBits::sbOne5StopBits, TFlowControl::fcSoftware),
            {31250, 5, 4, 3, {2, 9, 12}}},
        SettingsCase{"Odd6",
                     makeSettings(TBaudRate::br14400, 0, TDataBits::dbSix, TParityBits::prOdd,
                                  TStopBits::sbOneStopBit, TFlowControl::fcNone),
                     {14400, 6, 2, 1, {1, 9, 12}}},
        SettingsCase{"Space",
                     makeSettings(TBaudRate::br110, 0, TDataBits::dbEight, TParityBits::prSpace,
                                  TStopBits::sbOneStopBit, TFlowControl::fcNone),
                     {110, 8, 5, 1, {1, 9, 12}}}),
    [](const auto& p) { return std::string(p.param.name); });

// The option agreement the client asks for, and its mask for CTS notifications.
TEST(Rfc2217Device, AsksForComPortBinaryAndSuppressGoAheadAndMasksCts) {
    ScriptedServer server;
    Rfc2217Device device(server.where(), kTestTimeouts);
    device.open(PortSettings{});
    auto negotiations = server.negotiations();
    for (int option : {0, 3, 44}) {
        EXPECT_NE(std::find(negotiations.begin(), negotiations.end(),
                            std::pair<int, int>{telnet::kWill, option}),
                  negotiations.end());
        EXPECT_NE(std::find(negotiations.begin(), negotiations.end(),
                            std::pair<int, int>{telnet::kDo, option}),
                  negotiations.end());
    }
    // Sent without waiting for an answer, so it may still be on its way.
    EXPECT_TRUE(server.waitFor([](const ScriptedServer& s) {
        const auto& c = s.comPortLocked();
        return std::find(c.begin(), c.end(), std::string("\x0b\x11")) != c.end();
    }));
}

TEST(Rfc2217Device, RefusesOptionsItDoesNotKnow) {
    ServerScript script;
    script.greeting = telnet::negotiation(telnet::kDo, 24) + telnet::negotiation(telnet::kWill, 1);
    ScriptedServer server(script);
    Rfc2217Device device(server.where(), kTestTimeouts);
    device.open(PortSettings{});
    auto negotiations = server.negotiations();
    EXPECT_NE(
        std::find(negotiations.begin(), negotiations.end(), std::pair<int, int>{telnet::kWont, 24}),
        negotiations.end());
    EXPECT_NE(
        std::find(negotiations.begin(), negotiations.end(), std::pair<int, int>{telnet::kDont, 1}),
        negotiations.end());
}

// --- failures while opening ----------------------------------------------------------------

TEST(Rfc2217Device, RefusedPortFailsToOpenWithTheErrno) {
    int port = 0;
    {
        // A port that was free a moment ago and has no listener now.
        int fd = -1;
        ASSERT_EQ(net::listenLoopback(0, fd, port), 0);
        net::Fd closer(fd);
    }
    Rfc2217Device device({"127.0.0.1", port}, kTestTimeouts);
    EXPECT_EQ(messageOf([&] { device.open(PortSettings{}); }),
              "Unable to open com port (win error code: 111)");
}

struct FailureCase {
    const char* name;
    ServerScript script;
    std::string message;
};

ServerScript scriptWith(std::function<void(ServerScript&)> change) {
    ServerScript s;
    change(s);
    return s;
}

class OpenFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(OpenFailure, ThrowsTheComponentErrorAndLeavesNothingOpen) {
    ScriptedServer server(GetParam().script);
    Rfc2217Device device(server.where(), kTestTimeouts);
    EXPECT_EQ(messageOf([&] { device.open(PortSettings{}); }), GetParam().message);
    EXPECT_EQ(messageOf([&] { device.write("x"); }),
              "WriteFile function failed (win error code: 9)");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OpenFailure,
    ::testing::Values(
        FailureCase{"NeverAcknowledges", scriptWith([](auto& s) { s.ackSettings = false; }),
                    "SetCommState function failed (win error code: 110)"},
        FailureCase{"AnswersAnotherBaudRate", scriptWith([](auto& s) { s.baudAnswer = 4800; }),
                    "SetCommState function failed (win error code: 22)"},
        FailureCase{"NotATelnetServer", scriptWith([](auto& s) { s.answerOptions = false; }),
                    "Unable to open com port (win error code: 110)"},
        FailureCase{"RefusesComPortOption", scriptWith([](auto& s) { s.agreeComPort = false; }),
                    "Unable to open com port (win error code: 93)"},
        FailureCase{"HangsUpAtOnce", scriptWith([](auto& s) { s.hangUpAtAccept = true; }),
                    "Unable to open com port (win error code: 104)"}),
    [](const auto& p) { return std::string(p.param.name); });

// --- CTS ----------------------------------------------------------------------------------

struct CtsAtOpenCase {
    const char* name;
    ServerScript::Notify notify;
    std::uint8_t modemState;
    bool level;
};

class CtsAtOpen : public ::testing::TestWithParam<CtsAtOpenCase> {};

TEST_P(CtsAtOpen, IsTheLinesLevelAndNoEvent) {
    ServerScript script;
    script.notify = GetParam().notify;
    script.modemState = GetParam().modemState;
    ScriptedServer server(script);
    Rfc2217Device device(server.where(), kTestTimeouts);
    device.open(PortSettings{});
    EXPECT_EQ(device.ctsLevel(), GetParam().level);

    server.sendRaw("m");
    std::string data;
    EXPECT_FALSE(eventsUntilData(device, "m", data).cts);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CtsAtOpen,
    ::testing::Values(
        CtsAtOpenCase{"OnUnasked", ServerScript::Notify::AtAgreement, 0x10, true},
        CtsAtOpenCase{"OnWithDeltaUnasked", ServerScript::Notify::AtAgreement, 0x11, true},
        CtsAtOpenCase{"OffUnasked", ServerScript::Notify::AtAgreement, 0x00, false},
        CtsAtOpenCase{"OnWhenAsked", ServerScript::Notify::WhenAsked, 0x10, true},
        CtsAtOpenCase{"NeverReportedReadsOff", ServerScript::Notify::Never, 0x10, false}),
    [](const auto& p) { return std::string(p.param.name); });

// After the opening: a level change or the delta bit is a CTS event; other lines are not.
TEST(Rfc2217Device, NotificationsAfterOpeningGiveCtsEvents) {
    struct Step {
        std::uint8_t state;
        bool ctsEvent;
        bool level;
        bool other;
    };
    const Step steps[] = {
        {0x10, true, true, false},   // rise
        {0x10, false, true, false},  // repeated level, no delta
        {0x11, true, true, false},   // a fall and rise too quick to sample
        {0x01, true, false, false},  // fall
        {0x00, false, false, false}, {0x01, true, false, false},  // a pulse too quick to sample
        {0x20, false, false, true},                               // DSR only
    };
    ScriptedServer server;
    Rfc2217Device device(server.where(), kTestTimeouts);
    device.open(PortSettings{});
    std::string data;
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        server.notify(steps[i].state);
        std::string marker = "<" + std::to_string(i) + ">";
        server.sendRaw(marker);
        LineEvents events = eventsUntilData(device, marker, data);
        EXPECT_EQ(events.cts, steps[i].ctsEvent) << "step " << i;
        EXPECT_EQ(events.other, steps[i].other) << "step " << i;
        EXPECT_EQ(device.ctsLevel(), steps[i].level) << "step " << i;
    }
}

TEST(Rfc2217Device, FollowsTheSimulatorsCts) {
    sim::BeamSim sim;
    sim.setCts(true);
    Rfc2217Device device(whereOf(sim), kTestTimeouts);
    device.open(PortSettings{});
    EXPECT_TRUE(device.ctsLevel());
    ASSERT_TRUE(sim.waitForClient(5000));
    for (bool level : {false, true, false}) {
        sim.setCts(level);
        LineEvents events = waitEvents(device);
        EXPECT_TRUE(events.cts);
        EXPECT_EQ(device.ctsLevel(), level);
    }
}

// --- data ---------------------------------------------------------------------------------

TEST(Rfc2217Device, CarriesEveryByteValueBothWays) {
    std::string all;
    for (int i = 0; i < 256; ++i) {
        all.push_back(static_cast<char>(i));
    }
    std::string payload = all + "\xff\xff" + all;

    sim::BeamSim sim;
    Rfc2217Device device(whereOf(sim), kTestTimeouts);
    device.open(PortSettings{});
    ASSERT_TRUE(sim.waitForClient(5000));

    device.write(payload);
    EXPECT_EQ(sim.waitForReceived(payload.size(), 5000), payload);

    sim.sendText(payload + "<end>");
    std::string data;
    eventsUntilData(device, "<end>", data);
    EXPECT_EQ(data, payload + "<end>");
}

// Records already written must still leave the server's line: only its receive side is purged.
TEST(Rfc2217Device, PurgeAsksTheServerToDropOnlyWhatItReceived) {
    ScriptedServer server;
    Rfc2217Device device(server.where(), kTestTimeouts);
    device.open(PortSettings{});
    device.purge();
    EXPECT_TRUE(server.waitFor([](const ScriptedServer& s) {
        const auto& c = s.comPortLocked();
        return std::find(c.begin(), c.end(), std::string("\x0c\x01")) != c.end();
    }));
    const auto commands = server.comPortCommands();
    for (const char* purgeOutput : {"\x0c\x02", "\x0c\x03"}) {
        EXPECT_EQ(std::find(commands.begin(), commands.end(), std::string(purgeOutput)),
                  commands.end());
    }
}

TEST(Rfc2217Device, CancelEndsAWaitAndLaterWaits) {
    sim::BeamSim sim;
    Rfc2217Device device(whereOf(sim), kTestTimeouts);
    device.open(PortSettings{});
    std::thread canceller([&] {
        std::this_thread::sleep_for(50ms);
        device.cancelWait();
    });
    EXPECT_FALSE(device.waitForEvents().any());
    canceller.join();
    EXPECT_FALSE(device.waitForEvents().any());
}

// A server that stops reading: a write gives up within its bound instead of blocking.
TEST(Rfc2217Device, WriteToAStalledServerTimesOut) {
    ServerScript script;
    script.readData = false;
    script.receiveBuffer = 4096;
    ScriptedServer server(script);
    Rfc2217Device device(server.where(), kTestTimeouts);
    device.open(PortSettings{});
    std::string record = "67 4320 101 12 \r";
    std::string message;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 2000000 && message.empty(); ++i) {
        try {
            device.write(record);
        } catch (const EComPort& e) {
            message = e.what();
        }
    }
    EXPECT_EQ(message, "WriteFile function failed (win error code: 110)");
    // 16 bytes may take 2.6 s; the filling before the stall is quick.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
}

// --- a lost connection -----------------------------------------------------------------------

struct LostCase {
    const char* name;
    bool reset;
    std::string writeMessage;
};

class LostConnection : public ::testing::TestWithParam<LostCase> {};

TEST_P(LostConnection, IsGoneOnceThenWaitsWithoutBusyLoopAndWritesFail) {
    ScriptedServer server;
    Rfc2217Device device(server.where(), kTestTimeouts);
    device.open(PortSettings{});
    server.notify(0x10);
    server.sendRaw("x");
    std::string data;
    eventsUntilData(device, "x", data);
    ASSERT_TRUE(device.ctsLevel());

    server.hangUp(GetParam().reset);
    LineEvents events = waitEvents(device);
    EXPECT_TRUE(events.gone);
    // CTS was on: the level falls with the line, so the batch carries the change.
    EXPECT_TRUE(events.cts);
    EXPECT_FALSE(device.ctsLevel());

    // The watcher may call again: it must sleep until cancelled, not spin.
    double cpuBefore = testing::processCpuSeconds();
    auto start = std::chrono::steady_clock::now();
    LineEvents later = waitEvents(device, 1000ms);
    auto waited = std::chrono::steady_clock::now() - start;
    double cpuUsed = testing::processCpuSeconds() - cpuBefore;
    EXPECT_FALSE(later.any());
    EXPECT_GE(waited, 900ms);
    EXPECT_LT(cpuUsed, 0.2);

    EXPECT_EQ(messageOf([&] { device.write("67 4320 101 12 \r"); }), GetParam().writeMessage);
    EXPECT_EQ(messageOf([&] { device.write("again"); }), GetParam().writeMessage);
    EXPECT_EQ(messageOf([&] { device.purge(); }), "no error");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LostConnection,
    ::testing::Values(LostCase{"OrderlyClose", false,
                               "WriteFile function failed (win error code: 32)"},
                      LostCase{"Reset", true, "WriteFile function failed (win error code: 104)"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(Rfc2217Device, ReopensAfterClose) {
    sim::BeamSim sim;
    Rfc2217Device device(whereOf(sim), kTestTimeouts);
    for (int round = 0; round < 2; ++round) {
        device.open(PortSettings{});
        ASSERT_TRUE(sim.waitForClient(5000)) << round;
        device.write("ping");
        EXPECT_EQ(sim.waitForReceived(4, 5000), "ping");
        device.close();
        EXPECT_TRUE(sim.waitForDisconnect(5000));
    }
}

}  // namespace
}  // namespace beamlink
