// TComPort against a scripted device: the hand-over of line-event batches to the main thread,
// the CTS reports of opening and closing, and how errors are dealt with.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTest>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ComDataPacket.h"
#include "ComPort.h"
#include "EComPort.h"

namespace beamlink {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr int kWaitMs = 10000;

// What the scripted device does and what was done to it; shared with the test body.
struct FakeLine {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<LineEvents> batches;
    bool cancelled = false;

    std::string queued;  // returned (and emptied) by the next readQueued()
    bool cts = false;
    std::optional<EComPort> openError, purgeError, readError, writeError;
    std::vector<std::string> log;  // device calls, and the handlers' calls in between
    int opens = 0;

    void push(LineEvents batch) {
        std::lock_guard lock(mutex);
        batches.push_back(batch);
        changed.notify_all();
    }
    void note(std::string what) {
        std::lock_guard lock(mutex);
        log.push_back(std::move(what));
    }
    std::vector<std::string> logged() {
        std::lock_guard lock(mutex);
        return log;
    }
};

class FakeDevice : public SerialDevice {
public:
    explicit FakeDevice(std::shared_ptr<FakeLine> line) : line_(std::move(line)) {}

    void open(const PortSettings&) override {
        line_->note("open");
        if (line_->openError) {
            throw *line_->openError;
        }
        std::lock_guard lock(line_->mutex);
        line_->cancelled = false;
        ++line_->opens;
    }
    LineEvents waitForEvents() override {
        std::unique_lock lock(line_->mutex);
        line_->changed.wait(lock, [&] { return line_->cancelled || !line_->batches.empty(); });
        if (line_->cancelled) {
            return {};
        }
        LineEvents batch = line_->batches.front();
        line_->batches.pop_front();
        return batch;
    }
    void cancelWait() override {
        std::lock_guard lock(line_->mutex);
        line_->log.push_back("cancel");
        line_->cancelled = true;
        line_->changed.notify_all();
    }
    std::string readQueued() override {
        if (line_->readError) {
            throw *line_->readError;
        }
        return std::exchange(line_->queued, {});
    }
    bool ctsLevel() override { return line_->cts; }
    void write(std::string_view bytes) override {
        if (line_->writeError) {
            throw *line_->writeError;
        }
        line_->note("write:" + std::string(bytes));
    }
    void purge() override {
        line_->note("purge");
        if (line_->purgeError) {
            throw *line_->purgeError;
        }
    }
    void close() noexcept override { line_->note("close"); }

private:
    std::shared_ptr<FakeLine> line_;
};

LineEvents batch(bool rx, bool cts) {
    LineEvents events;
    events.rxChar = rx;
    events.cts = cts;
    return events;
}

// Eats every user event posted in the application, so a batch stays in the mailbox as if the
// main thread were busy elsewhere.
class HoldPostedBatches : public QObject {
public:
    HoldPostedBatches() { QCoreApplication::instance()->installEventFilter(this); }
    ~HoldPostedBatches() override { QCoreApplication::instance()->removeEventFilter(this); }
    int held = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() >= QEvent::User && e->type() <= QEvent::MaxUser) {
            ++held;
            return true;
        }
        return false;
    }
};

class ComPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        packet.setStartString("A ");
        packet.setStopString("\r");
        packet.setSize(24);
        packet.OnPacket = [this](const std::string& text) { seen("packet:" + text); };
        port.attachPacket(&packet);
        port.OnCTSChange = [this](bool on) { seen(on ? "cts:on" : "cts:off"); };
        port.OnEventError = [this](const std::exception& e) { errors.push_back(e.what()); };
    }

    void seen(const std::string& what) {
        calls.push_back(what);
        line->note(what);
    }
    bool waitForCalls(std::size_t n) {
        return QTest::qWaitFor([&] { return calls.size() >= n; }, kWaitMs);
    }

    std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>();
    std::vector<std::string> calls;
    std::vector<std::string> errors;
    TComPort port{[l = line](const std::string&) { return std::make_unique<FakeDevice>(l); }};
    TComDataPacket packet;
};

TEST_F(ComPortTest, OpenReportsTheDeviceCtsLevelBeforeItReturns) {
    for (bool level : {true, false}) {
        SCOPED_TRACE(level);
        calls.clear();
        line->cts = level;
        port.Open();
        EXPECT_TRUE(port.Connected());
        EXPECT_THAT(calls, ElementsAre(level ? "cts:on" : "cts:off"));
        port.Close();
    }
}

TEST_F(ComPortTest, CtsEventCarriesTheLevelReadWhenItIsHandled) {
    port.Open();
    // Both changes happen before the main thread gets to the batches; each handler call sees
    // the level at handling time, so the same level twice.
    line->push(batch(false, true));
    line->cts = true;
    ASSERT_TRUE(waitForCalls(2));
    line->push(batch(false, true));
    ASSERT_TRUE(waitForCalls(3));
    EXPECT_THAT(calls, ElementsAre("cts:off", "cts:on", "cts:on"));
}

TEST_F(ComPortTest, BytesOfABatchReachThePacketsBeforeItsCtsEvent) {
    port.Open();
    line->queued = "A 1 2 3\rA 4 5 6\r";
    line->cts = true;
    line->push(batch(true, true));
    ASSERT_TRUE(waitForCalls(4));
    EXPECT_THAT(calls, ElementsAre("cts:off", "packet:1 2 3", "packet:4 5 6", "cts:on"));
}

TEST_F(ComPortTest, EveryAttachedPacketGetsTheChunkUntilDetached) {
    TComDataPacket second;
    second.setStartString("A ");
    second.setStopString("\r");
    second.OnPacket = [this](const std::string& text) { seen("second:" + text); };
    port.attachPacket(&second);
    port.attachPacket(&second);  // attaching twice delivers once
    port.Open();
    line->queued = "A 1\r";
    line->push(batch(true, false));
    ASSERT_TRUE(waitForCalls(3));
    port.detachPacket(&second);
    line->queued = "A 2\r";
    line->push(batch(true, false));
    ASSERT_TRUE(waitForCalls(4));
    EXPECT_THAT(calls, ElementsAre("cts:off", "packet:1", "second:1", "packet:2"));
}

// Where an error is thrown while a batch is handled; it must not cost the rest of the batch
// nor any later batch.
struct BatchErrorCase {
    const char* name;
    std::function<void(ComPortTest&, FakeLine&, TComDataPacket&, TComPort&)> arm;
    const char* message;
};

void PrintTo(const BatchErrorCase& c, std::ostream* os) {
    *os << c.name;
}

class ComPortBatchErrorTest : public ComPortTest,
                              public ::testing::WithParamInterface<BatchErrorCase> {};

TEST_P(ComPortBatchErrorTest, IsReportedAndDeliveryGoesOn) {
    port.Open();
    GetParam().arm(*this, *line, packet, port);
    line->queued = "A 1\r";
    line->cts = true;
    line->push(batch(true, true));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !errors.empty(); }, kWaitMs));
    EXPECT_THAT(errors, ElementsAre(GetParam().message));

    // The next batch is handled as usual.
    line->readError.reset();
    packet.OnPacket = [this](const std::string& text) { seen("packet:" + text); };
    port.OnCTSChange = [this](bool on) { seen(on ? "cts:on" : "cts:off"); };
    calls.clear();
    line->queued = "A 2\r";
    line->push(batch(true, true));
    ASSERT_TRUE(waitForCalls(2));
    EXPECT_THAT(calls, ElementsAre("packet:2", "cts:on"));
    EXPECT_EQ(errors.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ComPortBatchErrorTest,
    ::testing::Values(BatchErrorCase{"PacketHandler",
                                     [](ComPortTest&, FakeLine&, TComDataPacket& p, TComPort&) {
                                         p.OnPacket = [](const std::string&) {
                                             throw std::runtime_error("bad report");
                                         };
                                     },
                                     "bad report"},
                      BatchErrorCase{"CtsHandler",
                                     [](ComPortTest&, FakeLine&, TComDataPacket&, TComPort& port) {
                                         port.OnCTSChange = [](bool) {
                                             throw EComPort(ComError::WriteFailed, 5);
                                         };
                                     },
                                     "WriteFile function failed (win error code: 5)"},
                      BatchErrorCase{"ReadingTheQueue",
                                     [](ComPortTest&, FakeLine& line, TComDataPacket&, TComPort&) {
                                         line.readError = EComPort(ComError::ClearCommFailed, 5);
                                     },
                                     "ClearCommError function failed (win error code: 5)"},
                      BatchErrorCase{"NonStandardException",
                                     [](ComPortTest&, FakeLine&, TComDataPacket& p, TComPort&) {
                                         p.OnPacket = [](const std::string&) { throw 42; };
                                     },
                                     "unknown error"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(ComPortTest, BadReportStillLetsItsCtsEventThrough) {
    port.Open();
    packet.OnPacket = [](const std::string&) { throw std::runtime_error("bad report"); };
    line->queued = "A x\r";
    line->cts = true;
    line->push(batch(true, true));
    ASSERT_TRUE(waitForCalls(2));
    EXPECT_THAT(calls, ElementsAre("cts:off", "cts:on"));
}

TEST_F(ComPortTest, DefaultErrorReportIsOneLineOnStandardError) {
    TComPort quiet{[l = line](const std::string&) { return std::make_unique<FakeDevice>(l); }};
    bool handled = false;
    quiet.OnCTSChange = [&](bool on) {
        if (on) {
            handled = true;
            throw std::runtime_error("cycle failed");
        }
    };
    quiet.Open();
    ::testing::internal::CaptureStderr();
    line->cts = true;
    line->push(batch(false, true));
    bool ok = QTest::qWaitFor([&] { return handled; }, kWaitMs);
    std::string written = ::testing::internal::GetCapturedStderr();
    ASSERT_TRUE(ok);
    EXPECT_EQ(written, "beamlink: cycle failed\n");
}

TEST_F(ComPortTest, CtsHandlerErrorDuringOpenPropagatesAndLeavesThePortOpen) {
    port.OnCTSChange = [](bool) { throw EComPort(ComError::WriteFailed, 5); };
    try {
        port.Open();
        FAIL() << "Open() did not throw";
    } catch (const EComPort& e) {
        EXPECT_STREQ(e.what(), "WriteFile function failed (win error code: 5)");
    }
    EXPECT_TRUE(port.Connected());
    EXPECT_TRUE(errors.empty());
    port.OnCTSChange = nullptr;
    port.Close();
    EXPECT_FALSE(port.Connected());
}

TEST_F(ComPortTest, CloseReportsCtsOffBeforeAnythingElse) {
    line->cts = true;
    port.Open();
    line->log.clear();
    port.Close();
    EXPECT_THAT(line->logged(), ElementsAre("cts:off", "purge", "cancel", "close"));
    EXPECT_FALSE(port.Connected());
}

TEST_F(ComPortTest, CloseRunsABatchAlreadyHandedOverWithThePortOpen) {
    port.Open();
    std::vector<bool> openDuringHandler;
    packet.OnPacket = [&](const std::string& text) {
        openDuringHandler.push_back(port.Connected());
        seen("packet:" + text);
    };
    {
        HoldPostedBatches hold;
        line->queued = "A 7 8 9\r";
        line->cts = true;
        line->push(batch(true, true));
        ASSERT_TRUE(QTest::qWaitFor([&] { return hold.held == 1; }, kWaitMs));
    }
    port.Close();  // would hang here if the watcher and Close() waited on each other
    EXPECT_THAT(calls, ElementsAre("cts:off", "cts:off", "packet:7 8 9", "cts:on"));
    EXPECT_THAT(openDuringHandler, ElementsAre(true));
    EXPECT_FALSE(port.Connected());

    // Nothing of that opening is delivered again, not even after a new opening.
    port.Open();
    QCoreApplication::processEvents();
    EXPECT_EQ(calls.size(), 5u);
}

TEST_F(ComPortTest, CloseFromInsideAHandlerDoesNotDeadlock) {
    port.Open();
    packet.OnPacket = [&](const std::string& text) {
        seen("packet:" + text);
        port.Close();
    };
    line->queued = "A 1\r";
    line->cts = true;
    line->push(batch(true, true));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !port.Connected(); }, kWaitMs));
    // The CTS step of the batch is skipped: the port it belonged to is closed.
    EXPECT_THAT(calls, ElementsAre("cts:off", "packet:1", "cts:off"));
    port.Open();
    EXPECT_TRUE(port.Connected());
}

TEST_F(ComPortTest, OpeningAnOpenPortOrClosingAClosedOneChangesNothing) {
    port.Close();
    port.Open();
    port.Open();
    EXPECT_EQ(line->opens, 1);
    port.Close();
    port.Close();
    EXPECT_THAT(calls, ElementsAre("cts:off", "cts:off"));
    EXPECT_THAT(line->logged(),
                ElementsAre("open", "cts:off", "cts:off", "purge", "cancel", "close"));
}

TEST_F(ComPortTest, FailedOpeningLeavesThePortClosed) {
    line->openError = EComPort(ComError::OpenFailed, 2);
    try {
        port.Open();
        FAIL() << "Open() did not throw";
    } catch (const EComPort& e) {
        EXPECT_STREQ(e.what(), "Unable to open com port (win error code: 2)");
    }
    EXPECT_FALSE(port.Connected());
    EXPECT_TRUE(calls.empty());
    line->openError.reset();
    port.Open();
    EXPECT_TRUE(port.Connected());
}

TEST_F(ComPortTest, FailedPurgeKeepsThePortOpenAndDelivering) {
    port.Open();
    line->purgeError = EComPort(ComError::PurgeFailed, 5);
    EXPECT_THROW(port.Close(), EComPort);
    EXPECT_TRUE(port.Connected());
    line->cts = true;
    line->push(batch(false, true));
    ASSERT_TRUE(waitForCalls(3));
    EXPECT_EQ(calls.back(), "cts:on");
    line->purgeError.reset();
    port.Close();
    EXPECT_FALSE(port.Connected());
}

TEST_F(ComPortTest, WriteStrNeedsAnOpenPortAndPassesDeviceErrorsOn) {
    auto writeError = [&](const std::string& text) {
        try {
            port.WriteStr(text);
        } catch (const EComPort& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    EXPECT_EQ(writeError("67 4320 101 12 \r"), "WriteFile function failed (win error code: 9)");
    port.Open();
    EXPECT_EQ(writeError("67 4320 101 12 \r"), "");
    line->writeError = EComPort(ComError::WriteFailed, 110);
    EXPECT_EQ(writeError("x"), "WriteFile function failed (win error code: 110)");
    EXPECT_THAT(line->logged(), ::testing::Contains("write:67 4320 101 12 \r"));
    port.Close();
    EXPECT_THAT(writeError("x"), HasSubstr("(win error code: 9)"));
}

TEST_F(ComPortTest, OpeningDiscardsAPartialPacketFromBeforeTheClose) {
    port.Open();
    line->queued = "A 12";
    line->push(batch(true, false));
    ASSERT_TRUE(QTest::qWaitFor([&] { return packet.buffer() == "A 12"; }, kWaitMs));
    port.Close();
    EXPECT_EQ(packet.buffer(), "A 12");  // closing keeps it
    port.Open();
    line->queued = "A 123.4 45.6 9\r";
    line->push(batch(true, false));
    ASSERT_TRUE(waitForCalls(4));
    EXPECT_EQ(calls.back(), "packet:123.4 45.6 9");
}

TEST_F(ComPortTest, DestroyingAnOpenPortClosesTheDeviceWithoutCallingHandlers) {
    {
        TComPort local{[l = line](const std::string&) { return std::make_unique<FakeDevice>(l); }};
        local.Open();
        local.OnCTSChange = [this](bool on) { seen(on ? "cts:on" : "cts:off"); };
        HoldPostedBatches hold;
        line->cts = true;
        line->push(batch(false, true));
        ASSERT_TRUE(QTest::qWaitFor([&] { return hold.held == 1; }, kWaitMs));
    }
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(line->logged().back(), "close");
}

}  // namespace
}  // namespace beamlink
