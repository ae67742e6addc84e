// The operating modes, driven by real clicks on the window, with a pseudo-terminal as the port.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <sstream>
#include <vector>

#include "ModalWatcher.h"
#include "PtyPair.h"
#include "TempDir.h"
#include "WindowFixture.h"

namespace beamlink {
namespace {

using namespace std::chrono_literals;
using testing::clickEntry;
using testing::labelText;
using testing::radioGroup;

enum { kNone, kSend, kControl, kComInfo, kTime };

class ModeActionTest : public ::testing::Test {
protected:
    void SetUp() override {
        form.comPort().setPort(pty.slavePath());
        ASSERT_TRUE(testing::showAndActivate(form));
    }
    LinkState& state() { return form.linkState(); }
    // Runs the cycle as a CTS rise would, and returns what reached the line.
    std::string ctsRise(std::size_t records) {
        form.comPort().OnCTSChange(true);
        std::string sent;
        for (std::size_t i = 0; i < records; ++i) {
            sent += pty.readUntil('\r', 2s);
        }
        return sent;
    }
    // Records each CTS report the port makes (one at the end of an opening, one at a closing).
    void recordCtsReports() {
        auto original = form.comPort().OnCTSChange;
        form.comPort().OnCTSChange = [this, original](bool on) {
            ctsReports.push_back(on);
            original(on);
        };
    }

    test::PtyPair pty;
    testing::ModalWatcher watcher;
    TForm1 form;
    std::vector<bool> ctsReports;
};

struct ModeCase {
    const char* name;
    bool controlStarted;  // preset
    bool stopPending;     // preset
    std::vector<int> clicks;
    int selected;
    bool connected, linkActive, controlPending, stopPendingAfter, timePending;
};

TEST_F(ModeActionTest, EachModeSetsTheFlagsAndThePort) {
    const ModeCase cases[] = {
        {"send data opens the port", false, false, {kSend}, kSend, true, true, false, false, false},
        {"send data arms a stop once control started",
         true,
         false,
         {kSend},
         kSend,
         true,
         true,
         false,
         true,
         false},
        {"control keeps an armed stop",
         false,
         true,
         {kControl},
         kControl,
         true,
         true,
         true,
         true,
         false},
        {"send data after control drops it, port stays",
         false,
         false,
         {kControl, kSend},
         kSend,
         true,
         true,
         false,
         false,
         false},
        {"no external unit closes the port",
         false,
         false,
         {kSend, kNone},
         kNone,
         false,
         false,
         false,
         false,
         false},
        {"no external unit leaves a stop armed",
         false,
         true,
         {kControl, kNone},
         kNone,
         false,
         false,
         false,
         true,
         false},
        {"update time opens and ends on send data",
         false,
         false,
         {kTime},
         kSend,
         true,
         true,
         false,
         false,
         true},
        {"update time once control started",
         true,
         false,
         {kTime},
         kSend,
         true,
         true,
         false,
         true,
         true},
        {"update time on an open port drops control",
         false,
         false,
         {kControl, kTime},
         kSend,
         true,
         true,
         false,
         false,
         true},
    };
    for (const ModeCase& c : cases) {
        SCOPED_TRACE(c.name);
        // From the start state: entry 0, port closed, link idle.
        radioGroup(form)->setItemIndex(kNone);
        state() = LinkState{};
        state().ControlStarted = c.controlStarted;
        state().StopPending = c.stopPending;
        form.dataPacket().setStartString("");
        form.dataPacket().setStopString("");

        for (int entry : c.clicks) {
            clickEntry(form, entry);
        }
        EXPECT_EQ(radioGroup(form)->ItemIndex(), c.selected);
        EXPECT_TRUE(radioGroup(form)->button(c.selected)->isChecked());
        EXPECT_EQ(form.comPort().Connected(), c.connected);
        EXPECT_EQ(state().LinkActive, c.linkActive);
        EXPECT_EQ(state().ControlPending, c.controlPending);
        EXPECT_EQ(state().StopPending, c.stopPendingAfter);
        EXPECT_EQ(state().TimePending, c.timePending);
        EXPECT_EQ(state().ControlStarted, c.controlStarted);
        // Framing is prepared by every action that opens.
        EXPECT_EQ(form.dataPacket().startString(), "A ");
        EXPECT_EQ(form.dataPacket().stopString(), "\r");
        EXPECT_EQ(form.dataPacket().size(), 24u);
    }
    EXPECT_TRUE(watcher.messageBoxes().empty());
}

TEST_F(ModeActionTest, ControlStartsOnceAndSendDataStopsIt) {
    clickEntry(form, kControl);
    EXPECT_EQ(ctsRise(2), "68 4320 101 68 \r67 4320 101 12 \r");
    EXPECT_TRUE(state().ControlStarted);

    clickEntry(form, kControl);  // already selected: arms no second start
    EXPECT_FALSE(state().ControlPending);
    EXPECT_TRUE(radioGroup(form)->button(kControl)->isChecked());
    EXPECT_EQ(ctsRise(1), "67 4320 101 12 \r");

    clickEntry(form, kSend);
    EXPECT_EQ(ctsRise(2), "69 4320 101 69 \r67 4320 101 12 \r");
    EXPECT_EQ(ctsRise(1), "67 4320 101 12 \r");

    form.comPort().OnCTSChange(false);
    EXPECT_EQ(pty.read(1, 200ms), "");
}

TEST_F(ModeActionTest, NoExternalUnitTakesItsDetourOnceControlStarted) {
    // Entry 1 selected with the port closed: its opening failed.
    form.comPort().setPort("/dev/beamlink-missing");
    clickEntry(form, kSend);
    ASSERT_FALSE(form.comPort().Connected());
    form.comPort().setPort(pty.slavePath());
    state().ControlStarted = true;
    state().LinkActive = true;
    recordCtsReports();

    clickEntry(form, kNone);
    // Opened (CTS reported at the end of the opening) and closed again (CTS off).
    EXPECT_EQ(ctsReports, (std::vector<bool>{false, false}));
    EXPECT_FALSE(form.comPort().Connected());
    EXPECT_TRUE(state().StopPending);
    EXPECT_FALSE(state().LinkActive);
    EXPECT_FALSE(state().ControlPending);
    EXPECT_EQ(pty.read(1, 200ms), "");
}

TEST_F(ModeActionTest, NoExternalUnitBeforeControlOnlyClosesThePort) {
    clickEntry(form, kSend);
    recordCtsReports();
    clickEntry(form, kNone);
    EXPECT_EQ(ctsReports, std::vector<bool>{false});
    EXPECT_FALSE(form.comPort().Connected());
    EXPECT_FALSE(state().StopPending);
}

TEST_F(ModeActionTest, FailedOpeningIsShownAndKeepsTheSelection) {
    form.comPort().setPort("/dev/beamlink-missing");
    state().ControlStarted = true;

    clickEntry(form, kSend);
    ASSERT_EQ(watcher.messageBoxes().size(), 1u);
    const testing::SeenMessageBox& box = watcher.messageBoxes()[0];
    EXPECT_EQ(box.text, QStringLiteral("Unable to open com port (win error code: 2)"));
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    EXPECT_EQ(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(box.title, QStringLiteral("window_tests"));
    EXPECT_EQ(radioGroup(form)->ItemIndex(), kSend);
    EXPECT_TRUE(radioGroup(form)->button(kSend)->isChecked());
    EXPECT_FALSE(form.comPort().Connected());
    EXPECT_FALSE(state().LinkActive || state().StopPending || state().ControlPending);

    clickEntry(form, kSend);  // the same entry again does nothing
    EXPECT_EQ(watcher.messageBoxes().size(), 1u);

    clickEntry(form, kControl);  // another entry tries again
    EXPECT_EQ(watcher.messageBoxes().size(), 2u);
    EXPECT_EQ(radioGroup(form)->ItemIndex(), kControl);
}

TEST_F(ModeActionTest, TimeRecordsUntilTheUnitEchoesTheYear) {
    clickEntry(form, kTime);
    std::istringstream fields(ctsRise(1));
    unsigned code = 0, minuteHour = 0, dayMonth = 0, year = 0;
    fields >> code >> minuteHour >> dayMonth >> year;
    EXPECT_GE(code, 192u);
    EXPECT_LE(code, 251u);
    EXPECT_LE(minuteHour & 0xFF, 23u);
    EXPECT_GE(dayMonth & 0xFF, 1u);
    EXPECT_LE(dayMonth & 0xFF, 12u);
    EXPECT_GE(year, 24u);
    EXPECT_TRUE(state().TimePending);

    pty.write("A 43.1 1.0 " + std::to_string(year) + "\r");
    ASSERT_TRUE(QTest::qWaitFor([&] { return state().AckValue == static_cast<int>(year); }, 5000));
    std::istringstream acked(ctsRise(1));
    acked >> code >> minuteHour >> dayMonth >> year;
    EXPECT_EQ(code, 67u);
    EXPECT_EQ(year, 0u);
    EXPECT_FALSE(state().TimePending);
    EXPECT_EQ(ctsRise(1), "67 4320 101 12 \r");
}

TEST_F(ModeActionTest, AntennaReportsReachTheLabels) {
    clickEntry(form, kSend);
    pty.write("A 123.4 45.6 9\r");
    ASSERT_TRUE(QTest::qWaitFor([&] { return labelText(form, "Label6") == "123.4"; }, 5000));
    EXPECT_EQ(labelText(form, "Label7"), " 45.6");
    EXPECT_EQ(state().AckValue, 9);

    // A report that does not convert shows no message and leaves the labels; later ones arrive.
    pty.write("A x 1 2\r");
    pty.write("A 5 6 1\r");
    ASSERT_TRUE(QTest::qWaitFor([&] { return labelText(form, "Label6") == "  5.0"; }, 5000));
    EXPECT_EQ(labelText(form, "Label7"), "  6.0");
    EXPECT_EQ(testing::label(form, "Label6")->size(), testing::label(form, "Label6")->sizeHint());
    EXPECT_TRUE(watcher.messageBoxes().empty());
}

TEST_F(ModeActionTest, ClosingTheWindowClosesThePort) {
    clickEntry(form, kControl);
    ASSERT_TRUE(form.comPort().Connected());
    EXPECT_TRUE(form.close());
    EXPECT_FALSE(form.comPort().Connected());
    EXPECT_FALSE(form.isVisible());
}

TEST_F(ModeActionTest, UpdateComInfoStoresTheSettingsAndEndsOnNoExternalUnit) {
    testing::TempDir dir;
    testing::ScopedChdir cwd(dir.path());
    clickEntry(form, kSend);
    state().ControlStarted = true;

    clickEntry(form, kComInfo);  // the dialog is cancelled
    EXPECT_EQ(watcher.rejectedDialogs().size(), 1);
    EXPECT_TRUE(watcher.messageBoxes().empty());
    EXPECT_EQ(radioGroup(form)->ItemIndex(), kNone);
    EXPECT_TRUE(radioGroup(form)->button(kNone)->isChecked());
    EXPECT_FALSE(form.comPort().Connected());
    EXPECT_FALSE(state().LinkActive);
    EXPECT_TRUE(state().StopPending);  // the detour through "send data" ran
    const std::string ini = testing::readText(dir.file("SerialPort.ini"));
    EXPECT_NE(ini.find("[ComPort1]"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Port=" + pty.slavePath()), std::string::npos) << ini;
}

TEST_F(ModeActionTest, UpdateComInfoStopsWhereStoringFails) {
    testing::TempDir dir;
    testing::ScopedChdir cwd(dir.path());
    // A directory in the file's place cannot be replaced, even by root.
    std::filesystem::create_directories(dir.path() / "SerialPort.ini" / "inside");
    clickEntry(form, kControl);

    clickEntry(form, kComInfo);
    ASSERT_EQ(watcher.messageBoxes().size(), 1u);
    EXPECT_EQ(watcher.messageBoxes()[0].text, QStringLiteral("Failed to store settings."));
    EXPECT_EQ(radioGroup(form)->ItemIndex(), kComInfo);
    EXPECT_FALSE(form.comPort().Connected());
    EXPECT_TRUE(state().LinkActive);
    EXPECT_TRUE(state().ControlPending);
}

}  // namespace
}  // namespace beamlink
