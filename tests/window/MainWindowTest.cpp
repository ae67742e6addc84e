// The window as built from its layout and as it stands after its first activation.
#include <gtest/gtest.h>
#include <QFontMetrics>
#include <QLayout>
#include <QLocale>
#include <QProcess>

#include "ModalWatcher.h"
#include "PortDefaults.h"
#include "WindowFixture.h"

namespace beamlink {
namespace {

using testing::label;
using testing::labelText;
using testing::radioGroup;

struct LabelCase {
    const char* name;
    int left;
    int top;
    const char* text;
};

// In creation order.
constexpr LabelCase kLabels[] = {
    {"Label2", 112, 256, "Antenna"},
    {"Label3", 152, 40, "Experimental interface for the moon program"},
    {"Label4", 184, 232, "MoonAZ"},
    {"Label1", 264, 232, "MoonEL"},
    {"Label5", 112, 232, "Moon"},
    {"Label6", 184, 256, "AntennaAZ"},
    {"Label7", 264, 256, "AntennaEL"},
};

const char* const kEntries[] = {"No external unit", "Send data to beam unit",
                                "Send data and control beam", "Update COM info", "Update time"};

// The whole text fits and the label is no wider than its text needs.
void expectSizedToText(QLabel* l) {
    const int needed = l->fontMetrics().horizontalAdvance(l->text());
    EXPECT_GE(l->width(), needed) << l->objectName().toStdString();
    EXPECT_EQ(l->size(), l->sizeHint()) << l->objectName().toStdString();
}

TEST(MainWindowLayout, AsBuiltBeforeActivation) {
    TForm1 form;
    EXPECT_EQ(form.objectName(), QStringLiteral("Form1"));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Main screen"));

    QStringList order;
    for (QObject* child : form.children()) {
        if (child->isWidgetType()) {
            order << child->objectName();
        }
    }
    QStringList expected;
    for (const LabelCase& c : kLabels) {
        expected << QString::fromLatin1(c.name);
    }
    expected << QStringLiteral("RadioGroup1");
    EXPECT_EQ(order, expected);

    for (const LabelCase& c : kLabels) {
        QLabel* l = label(form, c.name);
        ASSERT_NE(l, nullptr) << c.name;
        EXPECT_EQ(l->text().toStdString(), c.text);
        EXPECT_EQ(l->pos(), QPoint(c.left, c.top)) << c.name;
        expectSizedToText(l);
    }

    TRadioGroup* group = radioGroup(form);
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->geometry(), QRect(160, 64, 185, 145));
    EXPECT_EQ(group->title(), QStringLiteral("External"));
    ASSERT_EQ(group->items().size(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(group->items()[i].toStdString(), kEntries[i]);
        EXPECT_EQ(group->button(i)->text().toStdString(), kEntries[i]);
        EXPECT_EQ(group->button(i)->objectName(), QStringLiteral("RadioGroup1_%1").arg(i));
        EXPECT_EQ(group->button(i)->isChecked(), i == 0) << i;
    }
    EXPECT_EQ(group->ItemIndex(), 0);
    EXPECT_EQ(form.focusWidget(), group->button(0));

    // Building ran no action and no activation.
    const LinkState& s = form.linkState();
    EXPECT_FALSE(s.LinkActive || s.ControlPending || s.StopPending || s.ControlStarted ||
                 s.TimePending || s.StatusFlag8 || s.StatusFlag4);
    EXPECT_EQ(s.MoonAz, 0.0L);
    EXPECT_FALSE(form.comPort().Connected());
    EXPECT_EQ(form.comPort().settings(), defaultPortSettings());
    EXPECT_EQ(form.dataPacket().size(), 24u);
    EXPECT_EQ(form.dataPacket().startString(), "");
}

TEST(MainWindowLayout, FirstActivationSetsTheMoonAndTheFlags) {
    testing::ModalWatcher watcher;
    TForm1 form;
    ASSERT_TRUE(testing::showAndActivate(form));

    const LinkState& s = form.linkState();
    EXPECT_EQ(s.MoonAz, 43.2L);
    EXPECT_EQ(s.MoonEl, 1.01L);
    EXPECT_TRUE(s.StatusFlag8 && s.StatusFlag4);
    EXPECT_FALSE(s.StatusFlag16 || s.StatusFlag2);
    EXPECT_FALSE(s.LinkActive || s.ControlPending || s.StopPending || s.TimePending);
    EXPECT_EQ(labelText(form, "Label4"), "43.2");
    EXPECT_EQ(labelText(form, "Label1"), "1.01");
    for (const LabelCase& c : kLabels) {
        expectSizedToText(label(form, c.name));
    }
    EXPECT_EQ(form.frameGeometry(), QRect(192, 127, 484, 367));
    EXPECT_EQ(QApplication::focusWidget(), radioGroup(form)->button(0));
    EXPECT_FALSE(form.comPort().Connected());
    EXPECT_TRUE(watcher.messageBoxes().empty());
}

TEST(MainWindowLayout, EveryEntryShowsWhole) {
    TForm1 form;
    ASSERT_TRUE(testing::showAndActivate(form));
    TRadioGroup* group = radioGroup(form);
    EXPECT_LE(group->layout()->minimumSize().height(), group->height());
    for (int i = 0; i < 5; ++i) {
        QRadioButton* b = group->button(i);
        EXPECT_GE(b->width(), b->sizeHint().width()) << i;
        EXPECT_GE(b->height(), b->sizeHint().height()) << i;
        EXPECT_TRUE(group->contentsRect().contains(b->geometry())) << i;
    }
}

TEST(MainWindowLayout, ActivationRunsOnlyOnce) {
    TForm1 form;
    ASSERT_TRUE(testing::showAndActivate(form));
    form.linkState().MoonAz = 7;

    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    ASSERT_TRUE(testing::showAndActivate(form));

    EXPECT_EQ(form.linkState().MoonAz, 7.0L);
    EXPECT_EQ(labelText(form, "Label4"), "43.2");
}

// Runs only in the child process that CommaDecimalSeparator starts with a German locale, since
// the system locale is fixed at process start.
TEST(MainWindowLocale, DISABLED_LabelsUseTheUsersSeparator) {
    ASSERT_EQ(QLocale::system().decimalPoint(), QStringLiteral(","));
    TForm1 form;
    ASSERT_TRUE(testing::showAndActivate(form));
    EXPECT_EQ(labelText(form, "Label4"), "43,2");
    EXPECT_EQ(labelText(form, "Label1"), "1,01");

    // Reports are read with '.' whatever the locale; the labels show the user's separator.
    prepareFraming(form.dataPacket());
    form.dataPacket().HandleData("A 123.4 45,6 9\r");
    EXPECT_EQ(labelText(form, "Label6"), "123,4");
    EXPECT_EQ(labelText(form, "Label7"), " 45,6");
}

TEST(MainWindowLocale, CommaDecimalSeparator) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("de_DE.UTF-8"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(
        QCoreApplication::applicationFilePath(),
        {QStringLiteral("--gtest_also_run_disabled_tests"),
         QStringLiteral("--gtest_filter=MainWindowLocale.DISABLED_LabelsUseTheUsersSeparator")});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QString output = QString::fromLocal8Bit(child.readAll());
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
}

}  // namespace
}  // namespace beamlink
