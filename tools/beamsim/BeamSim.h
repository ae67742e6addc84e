#pragma once
// A simulated beam unit behind an RFC 2217 server on 127.0.0.1. One client at a time: a second
// one waits in the listen queue until the first leaves. It answers the telnet and com port
// negotiation, records the line settings, pulses CTS (on a period or when told), parses the
// records it receives, moves a simulated antenna, and can send antenna reports before each CTS
// rise. Every public member is safe to call from any thread.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "AntennaModel.h"
#include "RecordParser.h"

namespace beamlink::sim {

struct BeamSimOptions {
    int port = 0;         // 0: any free port on 127.0.0.1
    int ctsPeriodMs = 0;  // 0: CTS only moves when setCts() is called
    double slewDegPerSec = 5.0;
    bool reportBeforeRise = false;  // send "A <az> <el> <ack>\r" before each CTS rise
    bool log = false;               // print records received / reports sent to stdout
};

struct LineSettings {
    std::uint32_t baud = 0;  // 0 until the client set it
    int dataSize = 0;
    int parity = 0;             // RFC 2217 values: 1 none, 2 odd, 3 even, 4 mark, 5 space
    int stopSize = 0;           // 1 one, 2 two, 3 one and a half
    std::vector<int> controls;  // every SET-CONTROL value, in order
    bool operator==(const LineSettings&) const = default;
};

// "A 43.1 1.0 0\r": one decimal, '.' whatever the locale.
std::string formatReport(long double az, long double el, int ack);

class BeamSim {
public:
    // Throws std::system_error when the port cannot be bound.
    explicit BeamSim(BeamSimOptions options = {});
    ~BeamSim();
    BeamSim(const BeamSim&) = delete;
    BeamSim& operator=(const BeamSim&) = delete;

    int port() const;
    std::string url() const;  // "rfc2217://127.0.0.1:<port>"

    // True once a client has agreed on the com port option and sent its modem-state mask.
    bool waitForClient(int timeoutMs);
    // True once no client is connected.
    bool waitForDisconnect(int timeoutMs);
    bool clientConnected() const;

    // A change is sent to the client at once as NOTIFY-MODEMSTATE (with the delta bit).
    void setCts(bool on);
    bool cts() const;
    // Raw data to the client, 0xFF doubled.
    void sendText(const std::string& bytes);

    // The data bytes received since the last take, exactly.
    std::string takeReceived();
    // Waits until at least minBytes have arrived (or the time is up), then takes them all.
    std::string waitForReceived(std::size_t minBytes, int timeoutMs);
    // The well-formed records completed since the last take.
    std::vector<ReceivedRecord> takeRecords();
    // Lines received that were not records.
    std::size_t rejectedCount() const;
    // What the current (or last) client set.
    LineSettings lineSettings() const;

    long double antennaAz() const;
    long double antennaEl() const;
    int ack() const;
    bool controlStarted() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace beamlink::sim
