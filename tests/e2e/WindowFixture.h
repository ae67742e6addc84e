#pragma once
// The real main window, driven by real clicks, talking to the beam-unit simulator over loopback.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <string>
#include <vector>

#include "BeamSim.h"
#include "Main.h"
#include "RadioGroup.h"

namespace beamlink {

class WindowAgainstSimulator : public ::testing::Test {
protected:
    enum Mode { kNoExternalUnit, kSendData, kSendDataAndControl, kUpdateComInfo, kUpdateTime };

    static constexpr int kWaitMs = 10000;
    static constexpr const char* kStart = "68 4320 101 68 \r";
    static constexpr const char* kStop = "69 4320 101 69 \r";
    static constexpr const char* kPosition = "67 4320 101 12 \r";

    void SetUp() override {
        // An unexpected error display is answered and recorded instead of hanging the test.
        errorDisplays.setInterval(20);
        QObject::connect(&errorDisplays, &QTimer::timeout, &errorDisplays, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shownErrors.push_back(box->text().toStdString());
                box->accept();
            }
        });
        errorDisplays.start();
        form.comPort().setPort(sim.url());
        form.show();
        form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
        group = form.findChild<TRadioGroup*>(QStringLiteral("RadioGroup1"));
        ASSERT_NE(group, nullptr);
    }

    void click(Mode mode) {
        QRadioButton* b = group->button(mode);
        ASSERT_NE(b, nullptr);
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(8, b->height() / 2));
    }

    void connectWith(Mode mode) {
        click(mode);
        ASSERT_TRUE(sim.waitForClient(kWaitMs));
    }

    // Waits for `records` whole records (each ends with a carriage return). CTS changes reach
    // the window through its event loop, so the wait spins it.
    std::string receive(std::size_t records) {
        std::string got;
        (void)QTest::qWaitFor(
            [&] {
                got += sim.takeReceived();
                return static_cast<std::size_t>(std::count(got.begin(), got.end(), '\r')) >=
                       records;
            },
            kWaitMs);
        return got;
    }

    // Nothing arrives within a short while (for the cases where sending would be the fault).
    std::string receiveNothing() {
        QTest::qWait(300);
        return sim.takeReceived();
    }

    void pulseCts() {
        sim.setCts(false);
        sim.setCts(true);
    }

    QString label(const char* name) {
        auto* l = form.findChild<QLabel*>(QString::fromLatin1(name));
        return l ? l->text() : QStringLiteral("<missing>");
    }

    bool waitForLabel(const char* name, const QString& text) {
        return QTest::qWaitFor([&] { return label(name) == text; }, kWaitMs);
    }

    void TearDown() override {
        for (const auto& text : shownErrors) {
            ADD_FAILURE() << "error display: " << text;
        }
    }

    QTimer errorDisplays;
    std::vector<std::string> shownErrors;
    sim::BeamSim sim;
    TForm1 form;
    TRadioGroup* group = nullptr;
};

}  // namespace beamlink
