#include "BeamSim.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "EComPort.h"
#include "Rfc2217Device.h"
#include "WaitForEvents.h"

namespace beamlink::sim {
namespace {

using namespace std::chrono_literals;

const Rfc2217Timeouts kTimeouts{2000ms, 1000ms, 1000ms};

NetworkPort whereOf(const BeamSim& sim) {
    return {"127.0.0.1", sim.port()};
}

LineEvents waitEvents(SerialDevice& device, std::chrono::milliseconds timeout = 5s) {
    return testing::waitForEvents(device, timeout);
}

TEST(BeamSimReport, HasOneDecimalAndAPointWhateverTheLocale) {
    EXPECT_EQ(formatReport(43.1L, 1.0L, 0), "A 43.1 1.0 0\r");
    EXPECT_EQ(formatReport(-12.54L, 359.96L, 26), "A -12.5 360.0 26\r");
}

TEST(BeamSim, SendsAReportBeforeEachRise) {
    BeamSimOptions options;
    options.reportBeforeRise = true;
    BeamSim sim(options);
    Rfc2217Device device(whereOf(sim), kTimeouts);
    device.open(PortSettings{});
    ASSERT_TRUE(sim.waitForClient(5000));

    sim.setCts(true);
    std::string data;
    bool ctsSeen = false;
    while (!ctsSeen) {
        LineEvents events = waitEvents(device);
        ASSERT_TRUE(events.any());
        if (events.rxChar) {
            data += device.readQueued();
        }
        ctsSeen = events.cts;
    }
    // The report came first in the stream, so it has been read by the time CTS is.
    EXPECT_EQ(data, "A 0.0 0.0 0\r");
    EXPECT_TRUE(device.ctsLevel());

    sim.setCts(false);
    LineEvents fall = waitEvents(device);
    EXPECT_TRUE(fall.cts);
    EXPECT_FALSE(fall.rxChar);
}

TEST(BeamSim, ParsesRecordsAndSteersTheAntenna) {
    BeamSimOptions options;
    options.slewDegPerSec = 1000;
    BeamSim sim(options);
    Rfc2217Device device(whereOf(sim), kTimeouts);
    device.open(PortSettings{});
    device.write("68 4320 101 68 \r");
    device.write("67 4320 101 12 \r");
    device.write("222 1288 3587 26 \r");
    std::string all = sim.waitForReceived(50, 5000);
    EXPECT_EQ(all, "68 4320 101 68 \r67 4320 101 12 \r222 1288 3587 26 \r");
    EXPECT_EQ(sim.takeRecords(),
              (std::vector<ReceivedRecord>{
                  {68, 4320, 101, 68}, {67, 4320, 101, 12}, {222, 1288, 3587, 26}}));
    EXPECT_TRUE(sim.controlStarted());
    EXPECT_EQ(sim.ack(), 26);
    std::this_thread::sleep_for(100ms);  // 43.2 degrees at 1000 degrees per second
    EXPECT_NEAR(static_cast<double>(sim.antennaAz()), 43.2, 1e-9);
    EXPECT_NEAR(static_cast<double>(sim.antennaEl()), 1.01, 1e-9);
    EXPECT_EQ(sim.rejectedCount(), 0u);
}

TEST(BeamSim, PulsesCtsOnItsOwnWithAPeriod) {
    BeamSimOptions options;
    options.ctsPeriodMs = 100;
    BeamSim sim(options);
    Rfc2217Device device(whereOf(sim), kTimeouts);
    device.open(PortSettings{});
    bool last = device.ctsLevel();
    int changes = 0;
    for (int i = 0; i < 4; ++i) {
        LineEvents events = waitEvents(device, 2000ms);
        ASSERT_TRUE(events.cts);
        if (device.ctsLevel() != last) {
            ++changes;
            last = !last;
        }
    }
    EXPECT_GE(changes, 3);
}

// One client at a time: a second one waits, unanswered, until the first has left.
TEST(BeamSim, QueuesASecondClientUntilTheFirstLeaves) {
    BeamSim sim;
    Rfc2217Device first(whereOf(sim), kTimeouts);
    first.open(PortSettings{});
    ASSERT_TRUE(sim.waitForClient(5000));

    Rfc2217Timeouts quick{2000ms, 300ms, 300ms};
    Rfc2217Device second(whereOf(sim), quick);
    try {
        second.open(PortSettings{});
        ADD_FAILURE() << "second client served while the first is connected";
    } catch (const EComPort& e) {
        EXPECT_STREQ(e.what(), "Unable to open com port (win error code: 110)");
    }

    first.close();
    ASSERT_TRUE(sim.waitForDisconnect(5000));
    PortSettings s;
    s.BaudRate = TBaudRate::br19200;
    second.open(s);
    ASSERT_TRUE(sim.waitForClient(5000));
    // Each client's settings stand alone.
    EXPECT_EQ(sim.lineSettings(), (LineSettings{19200, 8, 1, 1, {1, 9, 12}}));
}

}  // namespace
}  // namespace beamlink::sim
