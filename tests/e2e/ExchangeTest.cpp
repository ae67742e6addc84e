// The exchange as an operator and a beam unit see it: clicks in the real window, records on the
// wire, reports in the labels.
#include <string>

#include "WindowFixture.h"

namespace beamlink {
namespace {

using Exchange = WindowAgainstSimulator;

TEST_F(Exchange, ControlBeamThenOneCtsRiseThenOneReport) {
    connectWith(kSendDataAndControl);
    EXPECT_EQ(receiveNothing(), "");  // CTS is off: the opening sends nothing

    sim.setCts(true);
    EXPECT_EQ(receive(2), std::string(kStart) + kPosition);

    sim.sendText("A 43.1 1.0 0\r");
    EXPECT_TRUE(waitForLabel("Label6", QStringLiteral(" 43.1")));
    EXPECT_TRUE(waitForLabel("Label7", QStringLiteral("  1.0")));
    EXPECT_EQ(form.linkState().AckValue, 0);

    // Later rises send the position record only.
    pulseCts();
    EXPECT_EQ(receive(1), kPosition);
}

TEST_F(Exchange, CtsFallingNeverSends) {
    connectWith(kSendData);
    sim.setCts(true);
    EXPECT_EQ(receive(1), kPosition);
    sim.setCts(false);
    EXPECT_EQ(receiveNothing(), "");
}

TEST_F(Exchange, NoExternalUnitNeverConnects) {
    sim.setCts(true);
    pulseCts();
    EXPECT_FALSE(sim.waitForClient(300));
    EXPECT_FALSE(form.comPort().Connected());
}

TEST_F(Exchange, CtsAlreadyOnAtTheOpeningWaitsForTheNextRise) {
    sim.setCts(true);
    connectWith(kSendData);
    EXPECT_EQ(receiveNothing(), "");
    pulseCts();
    EXPECT_EQ(receive(1), kPosition);
}

TEST_F(Exchange, SendDataAfterControlSendsOneStopControlRecord) {
    connectWith(kSendDataAndControl);
    sim.setCts(true);
    EXPECT_EQ(receive(2), std::string(kStart) + kPosition);

    click(kSendData);
    pulseCts();
    EXPECT_EQ(receive(2), std::string(kStop) + kPosition);
    pulseCts();
    EXPECT_EQ(receive(1), kPosition);
}

TEST_F(Exchange, StartStopAndPositionInOneCycle) {
    connectWith(kSendDataAndControl);
    sim.setCts(true);
    EXPECT_EQ(receive(2), std::string(kStart) + kPosition);

    click(kSendData);            // arms a stop-control record
    click(kSendDataAndControl);  // arms a start-control record, keeps the stop armed
    pulseCts();
    EXPECT_EQ(receive(3), std::string(kStart) + kStop + kPosition);
}

TEST_F(Exchange, NoExternalUnitAfterControlArmsAStopControlRecord) {
    connectWith(kSendDataAndControl);
    sim.setCts(true);
    EXPECT_EQ(receive(2), std::string(kStart) + kPosition);

    // The detour through "Send data to beam unit" arms the stop, then the port closes.
    click(kNoExternalUnit);
    ASSERT_TRUE(sim.waitForDisconnect(kWaitMs));
    EXPECT_TRUE(form.linkState().StopPending);
    EXPECT_FALSE(form.linkState().LinkActive);

    connectWith(kSendDataAndControl);
    pulseCts();
    EXPECT_EQ(receive(3), std::string(kStart) + kStop + kPosition);
}

TEST_F(Exchange, ClosingTheWindowClosesTheConnection) {
    connectWith(kSendData);
    form.close();
    EXPECT_TRUE(sim.waitForDisconnect(kWaitMs));
    EXPECT_FALSE(form.comPort().Connected());
}

TEST_F(Exchange, AGarbageReportBetweenTwoGoodOnesChangesNothing) {
    connectWith(kSendData);
    sim.sendText("A 10.0 20.0 0\r");
    ASSERT_TRUE(waitForLabel("Label6", QStringLiteral(" 10.0")));
    ASSERT_TRUE(waitForLabel("Label7", QStringLiteral(" 20.0")));

    sim.sendText("A x 1 2\rgarbage\r");
    QTest::qWait(200);
    EXPECT_EQ(label("Label6"), QStringLiteral(" 10.0"));
    EXPECT_EQ(label("Label7"), QStringLiteral(" 20.0"));

    sim.sendText("A 30.5 -4.25 7\r");
    EXPECT_TRUE(waitForLabel("Label6", QStringLiteral(" 30.5")));
    EXPECT_TRUE(waitForLabel("Label7", QStringLiteral(" -4.3")));
    EXPECT_EQ(form.linkState().AckValue, 7);
    EXPECT_TRUE(form.comPort().Connected());
}

TEST_F(Exchange, BackToBackReportsInOneChunkShowTheSecond) {
    connectWith(kSendData);
    sim.sendText("A 123.4 45.6 9\rA 12.3 4.5 1\r");
    EXPECT_TRUE(waitForLabel("Label6", QStringLiteral(" 12.3")));
    EXPECT_TRUE(waitForLabel("Label7", QStringLiteral("  4.5")));
    EXPECT_EQ(form.linkState().AckValue, 1);
}

}  // namespace
}  // namespace beamlink
