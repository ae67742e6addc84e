// "Update COM info" with the link active and CTS on: the detour through "Send data to beam
// unit" re-opens the port while LinkActive still holds, so the CTS report at the end of that
// opening runs a whole transmit cycle before the port closes again.
#include "ComSetupFrm.h"
#include "OnModal.h"
#include "TempDir.h"
#include "WindowFixture.h"

namespace beamlink {
namespace {

using UpdateComInfo = WindowAgainstSimulator;

TEST_F(UpdateComInfo, DetourRunsACycleInsideTheReopeningThenClosesThePort) {
    testing::TempDir dir;
    testing::ScopedChdir cwd(dir.path());
    connectWith(kSendDataAndControl);
    sim.setCts(true);
    ASSERT_EQ(receive(2), std::string(kStart) + kPosition);

    testing::OnModal<TComSetupFrm> dialog([](TComSetupFrm* d) { d->reject(); });
    click(kUpdateComInfo);

    ASSERT_TRUE(dialog.ran());
    EXPECT_EQ(receive(1), kPosition);  // sent during the detour's opening
    EXPECT_TRUE(sim.waitForDisconnect(kWaitMs));
    EXPECT_EQ(group->ItemIndex(), kNoExternalUnit);
    EXPECT_FALSE(form.comPort().Connected());
    EXPECT_FALSE(form.linkState().LinkActive);
    EXPECT_TRUE(form.linkState().StopPending);  // armed by the detour, sent at the next link
    EXPECT_FALSE(testing::readText(dir.file("SerialPort.ini")).empty());

    connectWith(kSendData);
    pulseCts();
    EXPECT_EQ(receive(2), std::string(kStop) + kPosition);
}

}  // namespace
}  // namespace beamlink
