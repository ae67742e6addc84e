// "Update COM info" through the real window: a real click on the entry, the settings dialog
// answered from inside its modal loop, and SerialPort.ini in a fresh current directory.
#include <gtest/gtest.h>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>

#include <filesystem>

#include "ComSetupFrm.h"
#include "OnModal.h"
#include "PtyPair.h"
#include "TempDir.h"
#include "WindowFixture.h"

namespace beamlink {
namespace {

using testing::clickEntry;
using testing::radioGroup;

enum { kNone, kSend, kControl, kComInfo, kTime };

class UpdateComInfoTest : public ::testing::Test {
protected:
    // The port is the pseudo-terminal, which is never in the dialog's port list, so the "Port"
    // list opens with nothing selected and the tests never pick a real serial port.
    void SetUp() override {
        form.comPort().setPort(pty.slavePath());
        ASSERT_TRUE(testing::showAndActivate(form));
        clickEntry(form, kControl);
        ASSERT_TRUE(form.comPort().Connected());
    }

    // Chooses 19200 7E2 with hardware flow, then presses `buttonName`.
    std::function<void(TComSetupFrm*)> chooseAndPress(const char* buttonName) {
        return [this, buttonName](TComSetupFrm* dialog) {
            portOpenDuringDialog = form.comPort().Connected();
            auto* portList = dialog->findChild<QComboBox*>(QStringLiteral("Combo1"));
            portListSelection = portList->currentIndex();
            const char* choice[] = {"19200", "7", "2", "Even", "Hardware"};
            for (int n = 2; n <= 6; ++n) {
                dialog->findChild<QComboBox*>(QStringLiteral("Combo%1").arg(n))
                    ->setCurrentText(QString::fromUtf8(choice[n - 2]));
            }
            QTest::mouseClick(dialog->findChild<QPushButton*>(QString::fromUtf8(buttonName)),
                              Qt::LeftButton);
        };
    }

    std::string settingsFile() const { return testing::readText(dir.file("SerialPort.ini")); }
    void expectEndedOnNoExternalUnit() {
        EXPECT_EQ(radioGroup(form)->ItemIndex(), kNone);
        EXPECT_TRUE(radioGroup(form)->button(kNone)->isChecked());
        EXPECT_FALSE(form.comPort().Connected());
        EXPECT_FALSE(form.linkState().LinkActive);
        EXPECT_FALSE(form.linkState().ControlPending);
    }

    testing::TempDir dir;
    testing::ScopedChdir cwd{dir.path()};
    test::PtyPair pty;
    TForm1 form;
    bool portOpenDuringDialog = true;
    int portListSelection = 0;
};

TEST_F(UpdateComInfoTest, CancelledDialogStillStoresTheUnchangedSettings) {
    const PortSettings before = form.comPort().settings();
    testing::OnModal<TComSetupFrm> dialog(chooseAndPress("Button2"));

    clickEntry(form, kComInfo);

    ASSERT_TRUE(dialog.ran());
    EXPECT_FALSE(portOpenDuringDialog);
    EXPECT_EQ(portListSelection, -1);
    EXPECT_EQ(form.comPort().settings(), before);
    EXPECT_EQ(settingsFile(), "[ComPort1]\nPort=" + pty.slavePath() +
                                  "\nBaudRate=9600\nStopBits=1\nDataBits=8\nParity=None\n"
                                  "FlowControl=None\n");
    expectEndedOnNoExternalUnit();
}

TEST_F(UpdateComInfoTest, ConfirmedDialogAppliesAndStoresTheChoices) {
    testing::OnModal<TComSetupFrm> dialog(chooseAndPress("Button1"));

    clickEntry(form, kComInfo);

    ASSERT_TRUE(dialog.ran());
    const PortSettings& after = form.comPort().settings();
    EXPECT_EQ(after.Port, pty.slavePath());  // nothing selected in the list keeps the port
    EXPECT_EQ(after.BaudRate, TBaudRate::br19200);
    EXPECT_EQ(after.DataBits, TDataBits::dbSeven);
    EXPECT_EQ(after.StopBits, TStopBits::sbTwoStopBits);
    EXPECT_EQ(after.Parity.Bits, TParityBits::prEven);
    EXPECT_EQ(after.FlowControl.summary(), TFlowControl::fcHardware);
    EXPECT_EQ(settingsFile(), "[ComPort1]\nPort=" + pty.slavePath() +
                                  "\nBaudRate=19200\nStopBits=2\nDataBits=7\nParity=Even\n"
                                  "FlowControl=Hardware\n");
    expectEndedOnNoExternalUnit();
}

TEST_F(UpdateComInfoTest, FailedStoreIsShownAndStopsTheMode) {
    // A directory in the file's place cannot be replaced, even by root.
    std::filesystem::create_directories(dir.path() / "SerialPort.ini" / "inside");
    testing::OnModal<TComSetupFrm> dialog(chooseAndPress("Button1"));
    QString shown;
    testing::OnModal<QMessageBox> message([&shown](QMessageBox* box) {
        shown = box->text();
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });

    clickEntry(form, kComInfo);

    ASSERT_TRUE(dialog.ran());
    ASSERT_TRUE(message.ran());
    EXPECT_EQ(shown, QStringLiteral("Failed to store settings."));
    EXPECT_EQ(radioGroup(form)->ItemIndex(), kComInfo);
    EXPECT_TRUE(radioGroup(form)->button(kComInfo)->isChecked());
    EXPECT_FALSE(form.comPort().Connected());
    EXPECT_TRUE(form.linkState().LinkActive);
    EXPECT_TRUE(form.linkState().ControlPending);
    // The dialog's choices were applied before the store failed.
    EXPECT_EQ(form.comPort().settings().BaudRate, TBaudRate::br19200);
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "SerialPort.ini" / "inside"));
}

}  // namespace
}  // namespace beamlink
