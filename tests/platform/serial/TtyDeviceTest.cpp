// TComPort on a real tty: a pseudo-terminal whose slave side is the port and whose master side
// plays the beam unit.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

// For reading back what the device was set to; glibc's <termios.h> must stay out of this file.
#include <asm/termbits.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "ComDataPacket.h"
#include "ComPort.h"
#include "EComPort.h"
#include "PtyPair.h"
#include "TtyDevice.h"

namespace beamlink {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;

constexpr int kWaitMs = 10000;

std::string openError(TComPort& port) {
    try {
        port.Open();
    } catch (const EComPort& e) {
        return e.what();
    }
    return "";
}

std::string writeError(TComPort& port, const std::string& text) {
    try {
        port.WriteStr(text);
    } catch (const EComPort& e) {
        return e.what();
    }
    return "";
}

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

class TtyPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        port.setPort(pty.slavePath());
        port.OnCTSChange = [this](bool on) { ctsReports.push_back(on); };
        port.OnEventError = [this](const std::exception& e) { errors.push_back(e.what()); };
    }

    termios2 lineSettings() {
        termios2 tio{};
        // On a master, TCGETS2 reports the slave's settings.
        EXPECT_EQ(ioctl(pty.masterFd(), TCGETS2, &tio), 0);
        return tio;
    }

    test::PtyPair pty;
    std::vector<bool> ctsReports;
    std::vector<std::string> errors;
    TComPort port;
};

struct LineCase {
    const char* name;
    std::function<void(PortSettings&)> choose;
    unsigned rateCode;  // Bnnn, or BOTHER
    unsigned rate;
    unsigned dataBits;  // CS5..CS8
    bool twoStopBits;
    unsigned parity;  // PARENB, PARODD, CMSPAR
    unsigned hardwareFlow;
    unsigned softwareFlow;  // IXON, IXOFF
    char xon, xoff;
};

void PrintTo(const LineCase& c, std::ostream* os) {
    *os << c.name;
}

class TtyLineSettingsTest : public TtyPortTest, public ::testing::WithParamInterface<LineCase> {};

// A pseudo-terminal keeps every setting but the character size and PARENB (it forces CS8
// without parity), so those two are checked on the settings as built.
void expectLine(const termios2& tio, const LineCase& c, bool checkFormat) {
    EXPECT_EQ(tio.c_cflag & CBAUD, c.rateCode);
    EXPECT_EQ(tio.c_cflag & CIBAUD, 0u) << "input runs at the output rate";
    EXPECT_EQ(tio.c_ospeed, c.rate);
    if (checkFormat) {
        EXPECT_EQ(tio.c_cflag & CSIZE, c.dataBits);
        EXPECT_EQ(tio.c_cflag & PARENB, c.parity & PARENB);
    }
    EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.twoStopBits);
    EXPECT_EQ(tio.c_cflag & (PARODD | CMSPAR), c.parity & (PARODD | CMSPAR));
    EXPECT_EQ(tio.c_cflag & CRTSCTS, c.hardwareFlow);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY), c.softwareFlow);
    EXPECT_EQ(tio.c_cc[VSTART], static_cast<cc_t>(c.xon));
    EXPECT_EQ(tio.c_cc[VSTOP], static_cast<cc_t>(c.xoff));

    // Raw in every case: no line editing, echo, signals or CR/NL translation either way.
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | INPCK | BRKINT), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_cflag & (CREAD | CLOCAL), CREAD | CLOCAL);
    EXPECT_EQ(tio.c_cc[VMIN], 0);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
}

TEST_P(TtyLineSettingsTest, AreBuiltAndReachTheDevice) {
    const LineCase& c = GetParam();
    PortSettings s;
    s.Port = pty.slavePath();
    c.choose(s);
    {
        SCOPED_TRACE("built from a cooked line");
        termios2 tio{};
        tio.c_iflag = ICRNL | IXON | BRKINT;
        tio.c_oflag = OPOST | ONLCR;
        tio.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
        tio.c_cflag = B38400 | CS8 | PARENB | CSTOPB | HUPCL;
        tio.c_cc[VMIN] = 1;
        buildLineSettings(tio, s);
        expectLine(tio, c, true);
    }
    {
        SCOPED_TRACE("read back from the device");
        port.setSettings(s);
        port.Open();
        expectLine(lineSettings(), c, false);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Choices, TtyLineSettingsTest,
    ::testing::Values(LineCase{"Defaults9600_8N1", [](PortSettings&) {}, B9600, 9600, CS8, false, 0,
                               0, 0, 17, 19},
                      LineCase{"Rate14400_7E2",
                               [](PortSettings& s) {
                                   s.BaudRate = TBaudRate::br14400;
                                   s.DataBits = TDataBits::dbSeven;
                                   s.Parity.Bits = TParityBits::prEven;
                                   s.StopBits = TStopBits::sbTwoStopBits;
                               },
                               BOTHER, 14400, CS7, true, PARENB, 0, 0, 17, 19},
                      LineCase{"Rate256000_5O1_5",
                               [](PortSettings& s) {
                                   s.BaudRate = TBaudRate::br256000;
                                   s.DataBits = TDataBits::dbFive;
                                   s.Parity.Bits = TParityBits::prOdd;
                                   s.StopBits = TStopBits::sbOne5StopBits;
                               },
                               BOTHER, 256000, CS5, true, PARENB | PARODD, 0, 0, 17, 19},
                      LineCase{"Rate110_6Mark1_Hardware",
                               [](PortSettings& s) {
                                   s.BaudRate = TBaudRate::br110;
                                   s.DataBits = TDataBits::dbSix;
                                   s.Parity.Bits = TParityBits::prMark;
                                   s.FlowControl.apply(TFlowControl::fcHardware);
                               },
                               B110, 110, CS6, false, PARENB | CMSPAR | PARODD, CRTSCTS, 0, 17, 19},
                      LineCase{"Rate115200_8Space1_Software",
                               [](PortSettings& s) {
                                   s.BaudRate = TBaudRate::br115200;
                                   s.Parity.Bits = TParityBits::prSpace;
                                   s.FlowControl.apply(TFlowControl::fcSoftware);
                                   s.FlowControl.XonChar = 'Q';
                                   s.FlowControl.XoffChar = 'S';
                               },
                               B115200, 115200, CS8, false, PARENB | CMSPAR, 0, IXON | IXOFF, 'Q',
                               'S'},
                      LineCase{"Rate56000",
                               [](PortSettings& s) {
                                   s.BaudRate = TBaudRate::br56000;
                                   s.FlowControl.apply(TFlowControl::fcNone);
                               },
                               BOTHER, 56000, CS8, false, 0, 0, 0, 17, 19},
                      LineCase{"Rate128000",
                               [](PortSettings& s) { s.BaudRate = TBaudRate::br128000; }, BOTHER,
                               128000, CS8, false, 0, 0, 0, 17, 19},
                      LineCase{"CustomRate31250",
                               [](PortSettings& s) {
                                   s.BaudRate = TBaudRate::brCustom;
                                   s.CustomBaudRate = 31250;
                               },
                               BOTHER, 31250, CS8, false, 0, 0, 0, 17, 19},
                      LineCase{"CustomRateWithAConstant",
                               [](PortSettings& s) {
                                   s.BaudRate = TBaudRate::brCustom;
                                   s.CustomBaudRate = 38400;
                               },
                               B38400, 38400, CS8, false, 0, 0, 0, 17, 19}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(TtyPortTest, UnusableCustomRateFailsAndLeavesThePortClosed) {
    PortSettings s;
    s.Port = pty.slavePath();
    s.BaudRate = TBaudRate::brCustom;
    s.CustomBaudRate = 0;
    port.setSettings(s);
    EXPECT_EQ(openError(port), "SetCommState function failed (win error code: 22)");
    EXPECT_FALSE(port.Connected());
    // Nothing stayed open or locked: the next opening with a good rate works.
    s.CustomBaudRate = 9600;
    port.setSettings(s);
    EXPECT_EQ(openError(port), "");
}

TEST_F(TtyPortTest, EachWriteArrivesWholeAtTheOtherEnd) {
    port.Open();
    const std::vector<std::string> records = {"68 4320 101 68 \r", "67 4320 101 12 \r",
                                              std::string("\x11\x13\n\0\xff \r", 7)};
    for (const auto& record : records) {
        port.WriteStr(record);
        EXPECT_EQ(pty.readUntil('\r', 5s), record);
    }
    EXPECT_EQ(pty.read(1, 50ms), "") << "nothing beyond the records was sent";
}

TEST_F(TtyPortTest, ReceivedBytesArriveAsPacketsOnTheMainThread) {
    TComDataPacket packet;
    packet.setStartString("A ");
    packet.setStopString("\r");
    packet.setSize(24);
    std::vector<std::string> texts;
    packet.OnPacket = [&](const std::string& text) { texts.push_back(text); };
    port.attachPacket(&packet);
    port.Open();

    pty.write("xxA 1 2 3\rA 43.1 1.0 0\r");
    ASSERT_TRUE(QTest::qWaitFor([&] { return texts.size() == 2; }, kWaitMs));
    pty.write("A 12");
    ASSERT_TRUE(QTest::qWaitFor([&] { return packet.buffer() == "A 12"; }, kWaitMs));
    pty.write("3.4 45.6 9\r");
    ASSERT_TRUE(QTest::qWaitFor([&] { return texts.size() == 3; }, kWaitMs));
    EXPECT_THAT(texts, ElementsAre("1 2 3", "43.1 1.0 0", "123.4 45.6 9"));
    EXPECT_TRUE(errors.empty());
}

TEST_F(TtyPortTest, LineWithoutModemLinesReportsCtsOffAtOpenAndClose) {
    port.Open();
    port.Open();
    port.Close();
    port.Close();
    EXPECT_THAT(ctsReports, ElementsAre(false, false));
    EXPECT_FALSE(port.Connected());
    // Closed and unlocked: the port opens again.
    port.Open();
    EXPECT_TRUE(port.Connected());
}

TEST_F(TtyPortTest, SecondPortOnTheSameDeviceIsRefused) {
    port.Open();
    TComPort second;
    second.setPort(pty.slavePath());
    // TIOCEXCL refuses the second opening (EBUSY); root passes it and meets the flock.
    const int expected = geteuid() == 0 ? EWOULDBLOCK : EBUSY;
    EXPECT_EQ(openError(second),
              "Unable to open com port (win error code: " + std::to_string(expected) + ")");
    EXPECT_FALSE(second.Connected());
    port.Close();
    EXPECT_EQ(openError(second), "");
}

TEST(TtyPortOpenTest, DeviceThatCannotServeFailsWithTheSystemError) {
    const struct {
        const char* port;
        const char* message;
    } cases[] = {
        {"/nonexistent-beamlink-dir/tty0", "Unable to open com port (win error code: 2)"},
        {"/dev/null", "Unable to open com port (win error code: 25)"},  // not a tty
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        TComPort port;
        port.setPort(c.port);
        EXPECT_EQ(openError(port), c.message);
        EXPECT_FALSE(port.Connected());
    }
}

TEST_F(TtyPortTest, VanishedDeviceStaysConnectedWithoutSpinningAndFailsWrites) {
    port.Open();
    pty.closeMaster();
    const double before = processCpuSeconds();
    // A real event loop, not QTest::qWait(): that one naps between rounds and would hide a
    // watcher that keeps handing over batches.
    QEventLoop loop;
    QTimer::singleShot(1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double used = processCpuSeconds() - before;
    EXPECT_LT(used, 0.2) << "seconds of CPU while the device was gone";
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(writeError(port, "67 4320 101 12 \r"),
              "WriteFile function failed (win error code: 5)");
    EXPECT_TRUE(errors.empty());
    // A vanished device can still be closed.
    port.Close();
    EXPECT_FALSE(port.Connected());
}

TEST_F(TtyPortTest, WriteHeldBackByXoffFailsAtItsTimeout) {
    PortSettings s;
    s.Port = pty.slavePath();
    s.FlowControl.apply(TFlowControl::fcSoftware);
    port.setSettings(s);
    port.Open();
    pty.write("\x13");  // XOFF
    // The line discipline takes the XOFF in asynchronously (later still on a loaded machine):
    // writes that beat it go out; one soon does not.
    std::string failure;
    std::chrono::steady_clock::duration took{};
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (failure.empty() && std::chrono::steady_clock::now() < deadline) {
        auto start = std::chrono::steady_clock::now();
        failure = writeError(port, "x");
        took = std::chrono::steady_clock::now() - start;
        if (failure.empty()) {
            QTest::qWait(10);
        }
    }
    EXPECT_EQ(failure, "WriteFile function failed (win error code: 110)");
    EXPECT_GE(took, 1100ms) << "one byte may take 100 * 1 + 1000 ms";
    pty.write("\x11");  // XON
    EXPECT_TRUE(QTest::qWaitFor([&] { return writeError(port, "y").empty(); }, kWaitMs));
    EXPECT_THAT(pty.readUntil('y', 5s), ::testing::EndsWith("y"));
}

}  // namespace
}  // namespace beamlink
