#include "BeamSim.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <iostream>
#include <mutex>
#include <system_error>
#include <thread>

#include "SocketIo.h"
#include "TelnetCodec.h"

namespace beamlink::sim {

namespace {

using namespace telnet;
using Clock = std::chrono::steady_clock;

// A client that does not read for this long is dropped rather than stalling the caller.
constexpr std::chrono::milliseconds kSendTimeout{2000};
// What a long free-running session keeps for takeReceived()/takeRecords().
constexpr std::size_t kMaxKeptBytes = 1 << 20;
constexpr std::size_t kMaxKeptRecords = 100000;

std::string fixed1(long double value) {
    std::array<char, 64> text{};
    auto [end, ec] = std::to_chars(text.data(), text.data() + text.size(),
                                   static_cast<double>(value), std::chars_format::fixed, 1);
    return ec == std::errc() ? std::string(text.data(), end) : std::string("0.0");
}

std::string oneByte(unsigned value) {
    return std::string(1, static_cast<char>(value));
}

// "set baud 9600", "set parity 1", ...: one log line per line setting the client sends.
std::string describeSetting(std::uint8_t code, const std::string& value) {
    static constexpr std::array<const char*, 5> kNames = {"baud", "data size", "parity",
                                                          "stop size", "control"};
    unsigned number = code == cpo::kSetBaudRate ? baudRateFromValue(value)
                      : value.empty()           ? 0u
                                                : static_cast<std::uint8_t>(value[0]);
    return std::string("set ") + kNames[code - cpo::kSetBaudRate] + " " + std::to_string(number);
}

// The server's side of the option agreement: it asks for nothing and agrees to BINARY,
// SUPPRESS-GO-AHEAD and COM-PORT-OPTION in both directions.
struct ServerOptions {
    static constexpr std::array<std::uint8_t, 3> kSupported = {kOptBinary, kOptSuppressGoAhead,
                                                               kOptComPort};
    std::array<bool, 3> local{};
    std::array<bool, 3> remote{};

    // The answer to one negotiation, possibly empty.
    std::string answer(std::uint8_t command, std::uint8_t option) {
        std::size_t i = 0;
        while (i < kSupported.size() && kSupported[i] != option) {
            ++i;
        }
        if (i == kSupported.size()) {
            return refusal(command, option);
        }
        bool isLocal = command == kDo || command == kDont;
        bool yes = command == kDo || command == kWill;
        bool& enabled = isLocal ? local[i] : remote[i];
        if (enabled == yes) {
            return {};
        }
        enabled = yes;
        if (isLocal) {
            return negotiation(yes ? kWill : kWont, option);
        }
        return negotiation(yes ? kDo : kDont, option);
    }
    bool comPort() const { return local[2] || remote[2]; }
};

}  // namespace

std::string formatReport(long double az, long double el, int ack) {
    return "A " + fixed1(az) + " " + fixed1(el) + " " + std::to_string(ack) + "\r";
}

struct BeamSim::Impl {
    BeamSimOptions options;
    int port = 0;
    net::Fd listener;
    net::Fd wake;
    std::thread thread;
    std::atomic<bool> stopping{false};
    Clock::time_point epoch = Clock::now();

    // Lock order: state, then send.
    mutable std::mutex stateMutex;
    std::condition_variable changed;
    bool connected = false;
    bool agreed = false;
    bool maskReceived = false;
    std::uint8_t modemMask = 255;
    bool ctsOn = false;
    std::string received;
    std::vector<ReceivedRecord> records;
    LineSettings settings;
    AntennaModel antenna;
    RecordParser parser;

    std::mutex sendMutex;
    int clientFd = -1;  // owned by the server thread; guarded by sendMutex

    // Server thread only.
    net::Fd client;
    TelnetDecoder decoder;
    ServerOptions telnetOptions;
    std::uint8_t flow = cpo::kFlowNone, dtr = cpo::kDtrOff, rts = cpo::kRtsOff;
    Clock::time_point nextToggle;

    explicit Impl(BeamSimOptions o) : options(o), antenna(o.slewDegPerSec) {}

    double now() const { return std::chrono::duration<double>(Clock::now() - epoch).count(); }

    void log(const std::string& line) const {
        if (options.log) {
            static std::mutex logMutex;
            std::lock_guard lock(logMutex);
            std::cout << line << std::endl;
        }
    }

    void send(const std::string& bytes) {
        std::lock_guard lock(sendMutex);
        if (clientFd < 0) {
            return;
        }
        if (net::sendAll(clientFd, bytes, Clock::now() + kSendTimeout) != 0) {
            // The server thread sees the hang-up and lets the client go.
            ::shutdown(clientFd, SHUT_RDWR);
        }
    }

    void sendComPort(std::uint8_t code, const std::string& value) {
        send(comPortCommand(static_cast<std::uint8_t>(code + cpo::kServerReply), value));
    }

    // Caller holds stateMutex.
    void notifyModemState(bool delta) {
        std::uint8_t state = (ctsOn ? cpo::kModemCts : 0) | (delta ? cpo::kModemDeltaCts : 0);
        if (delta && (state & modemMask) == 0) {
            return;
        }
        sendComPort(cpo::kNotifyModemState, oneByte(state & modemMask));
    }

    // Caller holds stateMutex.
    void changeCts(bool on) {
        if (on == ctsOn) {
            return;
        }
        if (on && options.reportBeforeRise && connected) {
            double t = now();
            std::string report = formatReport(antenna.az(t), antenna.el(t), antenna.ack());
            send(escapeData(report));
            log("report: " + report.substr(0, report.size() - 1));
        }
        ctsOn = on;
        if (connected && agreed) {
            notifyModemState(true);
        }
    }

    void run() {
        nextToggle = Clock::now() + std::chrono::milliseconds(options.ctsPeriodMs / 2);
        while (!stopping) {
            std::array<pollfd, 2> fds = {
                pollfd{wake.get(), POLLIN, 0},
                pollfd{client.valid() ? client.get() : listener.get(), POLLIN, 0}};
            int timeout = options.ctsPeriodMs > 0 ? net::pollTimeout(nextToggle) : -1;
            if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) {
                break;
            }
            if (fds[0].revents != 0) {
                std::uint64_t count = 0;
                (void)!::read(wake.get(), &count, sizeof count);
            }
            if (fds[1].revents != 0) {
                if (client.valid()) {
                    readClient();
                } else {
                    acceptClient();
                }
            }
            if (options.ctsPeriodMs > 0 && Clock::now() >= nextToggle) {
                std::lock_guard lock(stateMutex);
                changeCts(!ctsOn);
                nextToggle += std::chrono::milliseconds(std::max(1, options.ctsPeriodMs / 2));
                if (nextToggle < Clock::now()) {
                    nextToggle = Clock::now();
                }
            }
        }
        dropClient();
    }

    void acceptClient() {
        int fd = ::accept4(listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            return;
        }
        int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        client.reset(fd);
        decoder.reset();
        telnetOptions = {};
        flow = cpo::kFlowNone;
        dtr = cpo::kDtrOff;
        rts = cpo::kRtsOff;
        {
            std::lock_guard lock(stateMutex);
            connected = true;
            agreed = false;
            maskReceived = false;
            modemMask = 255;
            settings = {};
            parser.dropPartialLine();
            std::lock_guard sendLock(sendMutex);
            clientFd = fd;
        }
        changed.notify_all();
        log("client connected");
    }

    void dropClient() {
        if (!client.valid()) {
            return;
        }
        {
            std::lock_guard lock(stateMutex);
            connected = false;
            agreed = false;
            maskReceived = false;
            std::lock_guard sendLock(sendMutex);
            clientFd = -1;
            client.reset();
        }
        changed.notify_all();
        log("client left");
    }

    void readClient() {
        std::array<char, 4096> buffer{};
        std::vector<TelnetItem> items;
        for (;;) {
            ssize_t n = ::recv(client.get(), buffer.data(), buffer.size(), 0);
            if (n > 0) {
                items.clear();
                decoder.feed(std::string_view(buffer.data(), static_cast<std::size_t>(n)), items);
                for (const auto& item : items) {
                    handle(item);
                }
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                return;
            }
            dropClient();
            return;
        }
    }

    void handle(const TelnetItem& item) {
        switch (item.kind) {
            case TelnetItem::Kind::Data:
                takeData(item.bytes);
                break;
            case TelnetItem::Kind::Negotiation: {
                send(telnetOptions.answer(item.command, item.option));
                std::lock_guard lock(stateMutex);
                if (!agreed && telnetOptions.comPort()) {
                    agreed = true;
                    // The client learns the line's CTS level right away, as servers do.
                    notifyModemState(false);
                    changed.notify_all();
                }
                break;
            }
            case TelnetItem::Kind::Subnegotiation:
                if (item.bytes.size() >= 2 &&
                    static_cast<std::uint8_t>(item.bytes[0]) == kOptComPort) {
                    onComPort(static_cast<std::uint8_t>(item.bytes[1]), item.bytes.substr(2));
                }
                break;
            case TelnetItem::Kind::Command:
                break;
        }
    }

    void takeData(const std::string& bytes) {
        std::vector<ReceivedRecord> complete;
        {
            std::lock_guard lock(stateMutex);
            received += bytes;
            if (received.size() > kMaxKeptBytes) {
                received.erase(0, received.size() - kMaxKeptBytes / 2);
            }
            parser.feed(bytes, complete);
            double t = now();
            for (const auto& r : complete) {
                antenna.apply(r, t);
                records.push_back(r);
            }
            if (records.size() > kMaxKeptRecords) {
                records.erase(records.begin(),
                              records.begin() + static_cast<std::ptrdiff_t>(kMaxKeptRecords / 2));
            }
        }
        changed.notify_all();
        for (const auto& r : complete) {
            log("record: " + describe(r));
        }
    }

    void onComPort(std::uint8_t code, const std::string& value) {
        auto first = value.empty() ? 0u : static_cast<std::uint8_t>(value[0]);
        std::unique_lock lock(stateMutex);
        switch (code) {
            case cpo::kSignature:
                sendComPort(code, "beamsim");
                break;
            case cpo::kSetBaudRate:
                if (std::uint32_t baud = baudRateFromValue(value); baud != 0) {
                    settings.baud = baud;
                }
                sendComPort(code, baudRateValue(settings.baud));
                break;
            case cpo::kSetDataSize:
                settings.dataSize = first != 0 ? static_cast<int>(first) : settings.dataSize;
                sendComPort(code, oneByte(static_cast<unsigned>(settings.dataSize)));
                break;
            case cpo::kSetParity:
                settings.parity = first != 0 ? static_cast<int>(first) : settings.parity;
                sendComPort(code, oneByte(static_cast<unsigned>(settings.parity)));
                break;
            case cpo::kSetStopSize:
                settings.stopSize = first != 0 ? static_cast<int>(first) : settings.stopSize;
                sendComPort(code, oneByte(static_cast<unsigned>(settings.stopSize)));
                break;
            case cpo::kSetControl:
                settings.controls.push_back(static_cast<int>(first));
                sendComPort(code, oneByte(controlAnswer(static_cast<std::uint8_t>(first))));
                break;
            case cpo::kNotifyLineState:
                sendComPort(code, oneByte(0));
                break;
            case cpo::kNotifyModemState:
                notifyModemState(false);
                break;
            case cpo::kSetLineStateMask:
            case cpo::kPurgeData:
                sendComPort(code, oneByte(first));
                break;
            case cpo::kSetModemStateMask:
                modemMask = static_cast<std::uint8_t>(first);
                maskReceived = true;
                sendComPort(code, oneByte(first));
                lock.unlock();
                changed.notify_all();
                break;
            default:
                // Flow-control suspend/resume and unknown commands get no answer.
                break;
        }
        if (code >= cpo::kSetBaudRate && code <= cpo::kSetControl) {
            log(describeSetting(code, value));
        }
    }

    // SET-CONTROL answers: a change is echoed, a request gets the current state.
    std::uint8_t controlAnswer(std::uint8_t value) {
        switch (value) {
            case 0:
                return flow;
            case 4:
                return 6;  // BREAK is never on
            case 7:
                return dtr;
            case 10:
                return rts;
            case cpo::kFlowNone:
            case cpo::kFlowXonXoff:
            case cpo::kFlowHardware:
                flow = value;
                return value;
            case cpo::kDtrOn:
            case cpo::kDtrOff:
                dtr = value;
                return value;
            case cpo::kRtsOn:
            case cpo::kRtsOff:
                rts = value;
                return value;
            default:
                return value;
        }
    }
};

BeamSim::BeamSim(BeamSimOptions options) : d_(std::make_unique<Impl>(options)) {
    int fd = -1;
    if (int err = net::listenLoopback(options.port, fd, d_->port); err != 0) {
        throw std::system_error(err, std::generic_category(), "beamsim: cannot listen");
    }
    d_->listener.reset(fd);
    d_->wake.reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!d_->wake.valid()) {
        throw std::system_error(errno, std::generic_category(), "beamsim: eventfd");
    }
    d_->thread = std::thread([this] { d_->run(); });
}

BeamSim::~BeamSim() {
    d_->stopping = true;
    std::uint64_t one = 1;
    (void)!::write(d_->wake.get(), &one, sizeof one);
    d_->thread.join();
}

int BeamSim::port() const {
    return d_->port;
}

std::string BeamSim::url() const {
    return "rfc2217://127.0.0.1:" + std::to_string(d_->port);
}

bool BeamSim::waitForClient(int timeoutMs) {
    std::unique_lock lock(d_->stateMutex);
    return d_->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [this] { return d_->connected && d_->agreed && d_->maskReceived; });
}

bool BeamSim::waitForDisconnect(int timeoutMs) {
    std::unique_lock lock(d_->stateMutex);
    return d_->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [this] { return !d_->connected; });
}

bool BeamSim::clientConnected() const {
    std::lock_guard lock(d_->stateMutex);
    return d_->connected;
}

void BeamSim::setCts(bool on) {
    std::lock_guard lock(d_->stateMutex);
    d_->changeCts(on);
}

bool BeamSim::cts() const {
    std::lock_guard lock(d_->stateMutex);
    return d_->ctsOn;
}

void BeamSim::sendText(const std::string& bytes) {
    std::lock_guard lock(d_->stateMutex);
    d_->send(escapeData(bytes));
}

std::string BeamSim::takeReceived() {
    std::lock_guard lock(d_->stateMutex);
    std::string out;
    out.swap(d_->received);
    return out;
}

std::string BeamSim::waitForReceived(std::size_t minBytes, int timeoutMs) {
    std::unique_lock lock(d_->stateMutex);
    d_->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                         [&] { return d_->received.size() >= minBytes; });
    std::string out;
    out.swap(d_->received);
    return out;
}

std::vector<ReceivedRecord> BeamSim::takeRecords() {
    std::lock_guard lock(d_->stateMutex);
    std::vector<ReceivedRecord> out;
    out.swap(d_->records);
    return out;
}

std::size_t BeamSim::rejectedCount() const {
    std::lock_guard lock(d_->stateMutex);
    return d_->parser.rejectedCount();
}

LineSettings BeamSim::lineSettings() const {
    std::lock_guard lock(d_->stateMutex);
    return d_->settings;
}

long double BeamSim::antennaAz() const {
    std::lock_guard lock(d_->stateMutex);
    return d_->antenna.az(d_->now());
}

long double BeamSim::antennaEl() const {
    std::lock_guard lock(d_->stateMutex);
    return d_->antenna.el(d_->now());
}

int BeamSim::ack() const {
    std::lock_guard lock(d_->stateMutex);
    return d_->antenna.ack();
}

bool BeamSim::controlStarted() const {
    std::lock_guard lock(d_->stateMutex);
    return d_->antenna.controlStarted();
}

}  // namespace beamlink::sim
