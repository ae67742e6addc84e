#pragma once
// A network serial port: RFC 2217 (telnet com port control) over TCP, for rfc2217://HOST:PORT.
//
// open() connects, agrees on COM-PORT-OPTION, BINARY and SUPPRESS-GO-AHEAD, sends the line
// settings and waits for each acknowledgement, asks for CTS notifications and waits for the
// first one, so ctsLevel() is the line's own level when open() returns. Afterwards the watcher
// thread reads the socket in waitForEvents(): data bytes go into a receive buffer for
// readQueued(), a NOTIFY-MODEMSTATE that moves CTS (or carries the delta-CTS bit) is a CTS event.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "EComPort.h"
#include "PortName.h"
#include "SerialDevice.h"
#include "SocketIo.h"
#include "TelnetCodec.h"

namespace beamlink {

struct Rfc2217Timeouts {
    std::chrono::milliseconds connect{5000};
    // For the option agreement and for each line setting's acknowledgement.
    std::chrono::milliseconds reply{3000};
    // For the server's first NOTIFY-MODEMSTATE; without one CTS reads off until one comes.
    std::chrono::milliseconds modemState{3000};
};

class Rfc2217Device : public SerialDevice {
public:
    explicit Rfc2217Device(NetworkPort where, Rfc2217Timeouts timeouts = {});
    ~Rfc2217Device() override;
    Rfc2217Device(const Rfc2217Device&) = delete;
    Rfc2217Device& operator=(const Rfc2217Device&) = delete;

    void open(const PortSettings& settings) override;
    LineEvents waitForEvents() override;
    void cancelWait() override;
    std::string readQueued() override;
    bool ctsLevel() override;
    void write(std::string_view bytes) override;
    void purge() override;
    void close() noexcept override;

private:
    // One direction of one telnet option we support.
    struct OptionSide {
        bool requested = false;  // we asked and have no answer yet
        bool enabled = false;
        bool answered = false;
    };
    struct Option {
        std::uint8_t code;
        OptionSide local;   // WILL/WONT from us, DO/DONT from the server
        OptionSide remote;  // DO/DONT from us, WILL/WONT from the server
    };
    // An acknowledgement open() waits for.
    struct Expected {
        std::uint8_t reply;
        std::string value;
        bool checkValue;
        bool seen = false;
        bool matched = false;
    };

    void connectAndAgree();
    void applySettings(const PortSettings& settings);
    void awaitFirstModemState();
    // Reads and handles what arrives until done() or the deadline; false on timeout. A closed or
    // failed connection throws EComPort(error, errno).
    template <typename Done>
    bool pumpUntil(std::chrono::milliseconds timeout, ComError error, Done done);
    // Reads what the socket holds now; 0, or the errno that ended the connection (EPIPE for an
    // orderly close by the server).
    int readAvailable(LineEvents& events);
    // The connection ended with err: the batch says gone, and CTS reads off from now on.
    void markGone(int err, LineEvents& events);
    void handle(const telnet::TelnetItem& item, LineEvents& events);
    void handleNegotiation(std::uint8_t command, std::uint8_t option);
    void handleComPort(std::uint8_t code, std::string_view value, LineEvents& events);
    void sendControl(const std::string& bytes);
    Option* findOption(std::uint8_t code);
    bool comPortAgreed() const;

    NetworkPort where_;
    Rfc2217Timeouts timeouts_;
    net::Fd socket_;
    net::Fd wake_;
    std::mutex sendMutex_;

    // Used by open() and then only by the watcher thread.
    telnet::TelnetDecoder decoder_;
    std::vector<telnet::TelnetItem> items_;
    std::vector<Option> options_;
    std::vector<Expected> expected_;
    bool opened_ = false;
    bool modemStateSeen_ = false;
    std::uint8_t modemState_ = 0;
    bool goneReported_ = false;

    std::mutex rxMutex_;
    std::string rx_;
    std::atomic<bool> cts_{false};
    std::atomic<int> goneErrno_{0};
};

}  // namespace beamlink
