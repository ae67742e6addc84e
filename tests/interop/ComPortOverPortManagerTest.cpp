// TComPort on an rfc2217:// port against a server built on pyserial's PortManager.

#include <gtest/gtest.h>

#include <QTest>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "ComDataPacket.h"
#include "ComPort.h"
#include "EComPort.h"
#include "PythonPeer.h"

namespace beamlink {
namespace {

using namespace std::chrono_literals;
using testing::PythonPeer;

std::string hexOf(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

std::string fromHex(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

class PortManagerPeer : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing::systemPythonHasPyserial()) {
            GTEST_SKIP() << "python3-serial is not installed for /usr/bin/python3";
        }
    }

    // Starts the server and points the port at it.
    void startServer(std::vector<std::string> options = {}) {
        options.insert(options.begin(), BEAMLINK_INTEROP_DIR "/portmanager_server.py");
        options.push_back("--lifetime");
        options.push_back("60");
        server = std::make_unique<PythonPeer>(options);
        auto line = server->lineStartingWith("port ");
        ASSERT_TRUE(line) << "the server did not start";
        port.setPort("rfc2217://127.0.0.1:" + line->substr(5));
        port.OnCTSChange = [this](bool on) { ctsCalls.push_back(on); };
        framing.setStartString("A ");
        framing.setStopString("\r");
        framing.setSize(24);
        framing.OnPacket = [this](const std::string& s) { packets.push_back(s); };
        port.attachPacket(&framing);
    }

    // The data the server received, gathered until it holds `bytes` (or time is up).
    std::string serverData(std::size_t bytes) {
        std::string data;
        auto deadline = std::chrono::steady_clock::now() + 10s;
        while (data.size() < bytes && std::chrono::steady_clock::now() < deadline) {
            if (auto line = server->lineStartingWith("data ", 1s)) {
                data += fromHex(line->substr(5));
            }
        }
        return data;
    }

    std::unique_ptr<PythonPeer> server;
    TComPort port;
    TComDataPacket framing;
    std::vector<bool> ctsCalls;
    std::vector<std::string> packets;
};

TEST_F(PortManagerPeer, ReceivesTheLineSettings) {
    startServer();
    PortSettings s = port.settings();
    s.BaudRate = TBaudRate::br19200;
    s.DataBits = TDataBits::dbSeven;
    s.Parity.Bits = TParityBits::prEven;
    s.StopBits = TStopBits::sbTwoStopBits;
    s.FlowControl.apply(TFlowControl::fcHardware);
    port.setSettings(s);
    port.Open();
    ASSERT_TRUE(port.Connected());
    ASSERT_TRUE(server->lineStartingWith("dtr "));
    const std::vector<std::string> names = {"baudrate", "bytesize", "parity", "stopbits",
                                            "xonxoff",  "rtscts",   "dtr",    "rts"};
    std::vector<std::string> settings;
    for (const auto& line : server->seen()) {
        if (std::find(names.begin(), names.end(), line.substr(0, line.find(' '))) != names.end()) {
            settings.push_back(line);
        }
    }
    // Under hardware flow the handshake drives RTS, so it is not forced off.
    EXPECT_EQ(settings, (std::vector<std::string>{"baudrate 19200", "bytesize 7", "parity E",
                                                  "stopbits 2", "rtscts True", "dtr False"}));
    port.Close();
}

TEST_F(PortManagerPeer, DeliversCtsEdgesWithTheLevelAtOpenFirst) {
    startServer({"--cts-on"});
    port.Open();
    ASSERT_EQ(ctsCalls, std::vector<bool>{true});
    server->command("cts 0");
    EXPECT_TRUE(QTest::qWaitFor([&] { return ctsCalls.size() == 2; }, 10000));
    server->command("cts 1");
    EXPECT_TRUE(QTest::qWaitFor([&] { return ctsCalls.size() == 3; }, 10000));
    EXPECT_EQ(ctsCalls, (std::vector<bool>{true, false, true}));
    port.Close();
    EXPECT_EQ(ctsCalls.back(), false);
}

TEST_F(PortManagerPeer, CarriesRecordsAndReportsWithFfBytes) {
    startServer();
    port.Open();
    std::string record = "67 4320 101 12 \r";
    std::string raw = std::string("\xff\x00\xff", 3);
    port.WriteStr(record);
    port.WriteStr(raw);
    EXPECT_EQ(serverData(record.size() + raw.size()), record + raw);

    server->command("send " + hexOf("A 43.1 1.0 0\rA \xff\xfe 7\r"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return packets.size() == 2; }, 10000));
    EXPECT_EQ(packets, (std::vector<std::string>{"43.1 1.0 0", "\xff\xfe 7"}));
    port.Close();
    EXPECT_TRUE(server->lineStartingWith("purge in"));
}

TEST_F(PortManagerPeer, AServerThatNeverAcknowledgesFailsTheOpening) {
    startServer({"--no-ack"});
    try {
        port.Open();
        ADD_FAILURE() << "opened without acknowledgements";
    } catch (const EComPort& e) {
        EXPECT_STREQ(e.what(), "SetCommState function failed (win error code: 110)");
    }
    EXPECT_FALSE(port.Connected());
}

TEST_F(PortManagerPeer, AServerThatClosesMidRunLeavesThePortOpenAndWritesFail) {
    startServer({"--cts-on"});
    port.Open();
    port.WriteStr("67 4320 101 12 \r");
    ASSERT_TRUE(server->lineStartingWith("data "));
    server->command("close");
    // The lost line reads CTS off, which arrives as one more change.
    EXPECT_TRUE(QTest::qWaitFor([&] { return ctsCalls.size() == 2; }, 10000));
    EXPECT_EQ(ctsCalls, (std::vector<bool>{true, false}));
    EXPECT_TRUE(port.Connected());
    try {
        port.WriteStr("67 4320 101 12 \r");
        ADD_FAILURE() << "write succeeded on a closed connection";
    } catch (const EComPort& e) {
        EXPECT_STREQ(e.what(), "WriteFile function failed (win error code: 32)");
    }
    port.Close();
    EXPECT_FALSE(port.Connected());
}

}  // namespace
}  // namespace beamlink
