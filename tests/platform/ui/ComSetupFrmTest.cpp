#include "ComSetupFrm.h"

#include <gtest/gtest.h>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "ComPort.h"
#include "OnModal.h"

namespace beamlink {
namespace {

QStringList qlist(std::initializer_list<const char*> texts) {
    QStringList list;
    for (const char* t : texts) {
        list << QString::fromUtf8(t);
    }
    return list;
}

QComboBox* combo(const QWidget* dialog, int n) {
    auto* c = dialog->findChild<QComboBox*>(QStringLiteral("Combo%1").arg(n));
    EXPECT_NE(c, nullptr) << "Combo" << n;
    return c;
}

QPushButton* button(const QWidget* dialog, const char* name) {
    auto* b = dialog->findChild<QPushButton*>(QString::fromUtf8(name));
    EXPECT_NE(b, nullptr) << name;
    return b;
}

QStringList itemsOf(const QComboBox* c) {
    QStringList items;
    for (int i = 0; i < c->count(); ++i) {
        items << c->itemText(i);
    }
    return items;
}

const std::vector<std::string> kPorts = {"COM1", "COM10", "COM2", "ttyUSB0"};

TEST(ComSetupFrm, ShowsTheSixListsWithTheirItems) {
    TComSetupFrm dialog(PortSettings{}, kPorts);
    EXPECT_EQ(dialog.objectName(), QStringLiteral("TComSetupFrm"));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Setup"));
    EXPECT_EQ(dialog.findChild<QGroupBox*>(QStringLiteral("GroupBox1"))->title(),
              QStringLiteral(" Settings "));

    const QStringList captions =
        qlist({"Port", "Baud rate", "Data bits", "Stop bits", "Parity", "Flow control"});
    const QStringList items[] = {
        qlist({"COM1", "COM10", "COM2", "ttyUSB0"}),
        qlist({"Custom", "110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200",
               "38400", "56000", "57600", "115200", "128000", "256000"}),
        qlist({"5", "6", "7", "8"}),
        qlist({"1", "1.5", "2"}),
        qlist({"None", "Odd", "Even", "Mark", "Space"}),
        qlist({"Hardware", "Software", "None", "Custom"}),
    };
    for (int n = 1; n <= 6; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("Label%1").arg(n))->text(),
                  captions[n - 1]);
        EXPECT_EQ(itemsOf(combo(&dialog, n)), items[n - 1]);
        EXPECT_FALSE(combo(&dialog, n)->isEditable());
    }
    EXPECT_EQ(button(&dialog, "Button1")->text(), QStringLiteral("OK"));
    EXPECT_TRUE(button(&dialog, "Button1")->isDefault());
    EXPECT_EQ(button(&dialog, "Button2")->text(), QStringLiteral("Cancel"));
}

// On the screen's centre, not over the parent; window frames may shift it by a few pixels.
TEST(ComSetupFrm, IsFixedAndCentredOnTheScreen) {
    QWidget parent;
    parent.setGeometry(10, 10, 200, 150);
    parent.show();
    TComSetupFrm dialog(PortSettings{}, kPorts, &parent);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE((dialog.geometry().center() - screenCentre).manhattanLength(), 8)
        << dialog.geometry().center().x() << "," << dialog.geometry().center().y() << " vs "
        << screenCentre.x() << "," << screenCentre.y();
}

PortSettings changed() {
    PortSettings s;
    s.Port = "ttyUSB0";
    s.BaudRate = TBaudRate::br115200;
    s.DataBits = TDataBits::dbSeven;
    s.StopBits = TStopBits::sbOne5StopBits;
    s.Parity.Bits = TParityBits::prMark;
    s.FlowControl.apply(TFlowControl::fcSoftware);
    return s;
}

struct InitialCase {
    const char* name;
    PortSettings current;
    int portIndex;
    QStringList shown;  // Combo2..Combo6
};

TEST(ComSetupFrm, ListsOpenOnTheCurrentValues) {
    PortSettings unlisted;
    unlisted.Port = "COM7";
    PortSettings otherCase;
    otherCase.Port = "com1";
    PortSettings custom;
    custom.BaudRate = TBaudRate::brCustom;
    custom.FlowControl.XonXoffOut = true;
    const InitialCase cases[] = {
        {"defaults", PortSettings{}, 0, qlist({"9600", "8", "1", "None", "None"})},
        {"changed", changed(), 3, qlist({"115200", "7", "1.5", "Mark", "Software"})},
        {"port not listed", unlisted, -1, qlist({"9600", "8", "1", "None", "None"})},
        {"port spelled otherwise", otherCase, -1, qlist({"9600", "8", "1", "None", "None"})},
        {"custom rate and flow", custom, 0, qlist({"Custom", "8", "1", "None", "Custom"})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TComSetupFrm dialog(c.current, kPorts);
        EXPECT_EQ(combo(&dialog, 1)->currentIndex(), c.portIndex);
        for (int n = 2; n <= 6; ++n) {
            EXPECT_EQ(combo(&dialog, n)->currentText(), c.shown[n - 2]) << "Combo" << n;
        }
    }
}

PortSettings withFlow(TFlowControl kind) {
    PortSettings s;
    s.FlowControl.apply(kind);
    return s;
}

struct ChoiceCase {
    const char* name;
    PortSettings current;
    std::vector<std::string> ports;
    QStringList choice;  // Combo1..Combo6; an empty text leaves that list alone
    PortSettings expected;
};

TEST(ComSetupFrm, OkAppliesTheChoices) {
    PortSettings hardware;
    hardware.Port = "COM3";
    hardware.BaudRate = TBaudRate::br19200;
    hardware.DataBits = TDataBits::dbSeven;
    hardware.StopBits = TStopBits::sbTwoStopBits;
    hardware.Parity.Bits = TParityBits::prEven;
    hardware.FlowControl.apply(TFlowControl::fcHardware);

    PortSettings customRate;
    customRate.BaudRate = TBaudRate::brCustom;

    PortSettings unlisted;
    unlisted.Port = "COM7";

    // DTR and DSR settings survive any choice; "Custom" flow keeps every flow setting.
    PortSettings dtr = withFlow(TFlowControl::fcHardware);
    dtr.FlowControl.ControlDTR = TDTRFlowControl::dtrHandshake;
    dtr.FlowControl.OutDSRFlow = true;
    PortSettings dtrNone = dtr;
    dtrNone.FlowControl.apply(TFlowControl::fcNone);
    PortSettings odd;
    odd.FlowControl.ControlRTS = TRTSFlowControl::rtsToggle;
    odd.FlowControl.XonXoffIn = true;

    const ChoiceCase cases[] = {
        {"nothing changed", PortSettings{}, {"COM1", "COM3"}, {}, PortSettings{}},
        {"COM3 19200 7E2 hardware",
         PortSettings{},
         {"COM1", "COM3"},
         qlist({"COM3", "19200", "7", "2", "Even", "Hardware"}),
         hardware},
        {"custom rate", PortSettings{}, {"COM1"}, qlist({"", "Custom"}), customRate},
        {"back to none",
         hardware,
         {"COM3"},
         qlist({"", "9600", "8", "1", "None", "None"}),
         [] {
             PortSettings s;
             s.Port = "COM3";
             return s;
         }()},
        {"unlisted port kept",
         unlisted,
         {"COM1"},
         qlist({"", "", "", "", "Odd"}),
         [] {
             PortSettings s;
             s.Port = "COM7";
             s.Parity.Bits = TParityBits::prOdd;
             return s;
         }()},
        {"empty port list keeps the port", unlisted, {}, {}, unlisted},
        {"DTR and DSR untouched", dtr, {"COM1"}, qlist({"", "", "", "", "", "None"}), dtrNone},
        {"custom flow changes nothing", odd, {"COM1"}, qlist({"", "", "", "", "", "Custom"}), odd},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TComSetupFrm dialog(c.current, c.ports);
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        for (int n = 1; n <= c.choice.size(); ++n) {
            if (!c.choice[n - 1].isEmpty()) {
                combo(&dialog, n)->setCurrentText(c.choice[n - 1]);
                ASSERT_EQ(combo(&dialog, n)->currentText(), c.choice[n - 1]);
            }
        }
        QTest::mouseClick(button(&dialog, "Button1"), Qt::LeftButton);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(dialog.chosenSettings(), c.expected);
        EXPECT_EQ(dialog.chosenSettings().lineRate(), c.expected.lineRate());
    }
}

// Every combination of the four settings the summary looks at, each with DTR and DSR set two
// ways: the list opens on the summary, and choosing a kind gives exactly that summary.
TEST(ComSetupFrm, FlowControlSummaryAndChoice) {
    using R = TRTSFlowControl;
    for (R rts : {R::rtsDisable, R::rtsEnable, R::rtsHandshake, R::rtsToggle}) {
        for (int bits = 0; bits < 16; ++bits) {
            TComFlowControl flow;
            flow.ControlRTS = rts;
            flow.OutCTSFlow = bits & 1;
            flow.XonXoffIn = bits & 2;
            flow.XonXoffOut = bits & 4;
            flow.ControlDTR = bits & 8 ? TDTRFlowControl::dtrHandshake : TDTRFlowControl::dtrEnable;
            flow.OutDSRFlow = bits & 8;
            const bool quiet = rts == R::rtsDisable && !flow.OutCTSFlow;
            const char* summary =
                rts == R::rtsHandshake && flow.OutCTSFlow && !flow.XonXoffIn && !flow.XonXoffOut
                    ? "Hardware"
                : quiet && flow.XonXoffIn && flow.XonXoffOut   ? "Software"
                : quiet && !flow.XonXoffIn && !flow.XonXoffOut ? "None"
                                                               : "Custom";
            SCOPED_TRACE(::testing::Message()
                         << "rts " << static_cast<int>(rts) << " bits " << bits);

            PortSettings current;
            current.FlowControl = flow;
            TComSetupFrm dialog(current, kPorts);
            EXPECT_EQ(combo(&dialog, 6)->currentText(), QString::fromUtf8(summary));

            for (const char* kind : {"Hardware", "Software", "None", "Custom"}) {
                combo(&dialog, 6)->setCurrentText(QString::fromUtf8(kind));
                const TComFlowControl chosen = dialog.chosenSettings().FlowControl;
                EXPECT_EQ(toText(chosen.summary()), kind == std::string("Custom") ? summary : kind);
                if (kind == std::string("Custom")) {
                    EXPECT_EQ(chosen, flow);
                }
                EXPECT_EQ(chosen.ControlDTR, flow.ControlDTR);
                EXPECT_EQ(chosen.OutDSRFlow, flow.OutDSRFlow);
            }
        }
    }
}

// The port's own settings as the dialog leaves them, driven from inside its modal loop.
struct DialogRun {
    bool accepted;
    PortSettings after;
};

DialogRun runDialog(const PortSettings& before, const std::function<void(TComSetupFrm*)>& act) {
    TComPort port;
    port.setSettings(before);
    testing::OnModal<TComSetupFrm> driver(act);
    const bool accepted = ShowSetupDialog(port);
    EXPECT_TRUE(driver.ran());
    return {accepted, port.settings()};
}

TEST(ComSetupFrm, ShowSetupDialogAppliesOnlyWhenConfirmed) {
    const PortSettings before = changed();
    auto chooseThenPress = [](const char* buttonName) {
        return [buttonName](TComSetupFrm* d) {
            combo(d, 2)->setCurrentText(QStringLiteral("Custom"));
            combo(d, 5)->setCurrentText(QStringLiteral("Even"));
            QTest::mouseClick(button(d, buttonName), Qt::LeftButton);
        };
    };

    DialogRun ok = runDialog(before, chooseThenPress("Button1"));
    EXPECT_TRUE(ok.accepted);
    PortSettings expected = before;
    expected.BaudRate = TBaudRate::brCustom;
    expected.Parity.Bits = TParityBits::prEven;
    EXPECT_EQ(ok.after, expected);
    EXPECT_EQ(ok.after.lineRate(), 9600);

    DialogRun cancelled = runDialog(before, chooseThenPress("Button2"));
    EXPECT_FALSE(cancelled.accepted);
    EXPECT_EQ(cancelled.after, before);

    DialogRun closed = runDialog(before, [](TComSetupFrm* d) {
        combo(d, 3)->setCurrentText(QStringLiteral("5"));
        d->close();
    });
    EXPECT_FALSE(closed.accepted);
    EXPECT_EQ(closed.after, before);

    DialogRun escaped = runDialog(before, [](TComSetupFrm* d) {
        combo(d, 3)->setCurrentText(QStringLiteral("5"));
        QTest::keyClick(d, Qt::Key_Escape);
    });
    EXPECT_FALSE(escaped.accepted);
    EXPECT_EQ(escaped.after, before);
}

}  // namespace
}  // namespace beamlink
