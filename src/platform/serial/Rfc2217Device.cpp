#include "Rfc2217Device.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "EComPort.h"

namespace beamlink {

namespace {

using namespace telnet;
using std::chrono::milliseconds;

// Bounds one wake-up's reading, so a flooding server still lets the main thread drain.
constexpr std::size_t kMaxReadPerWake = 64 * 1024;
// Input nobody drains is dropped beyond this, as a UART overrun would.
constexpr std::size_t kMaxQueued = 256 * 1024;
// How long open() waits for an unasked first NOTIFY-MODEMSTATE before asking for one.
constexpr milliseconds kModemStateGrace{200};
// Time for a purge request to find room in the send buffer.
constexpr milliseconds kPurgeTimeout{1000};
constexpr milliseconds kCloseTimeout{500};

struct LineCommand {
    std::uint8_t code;
    std::string value;
    // SET-CONTROL answers are not compared: some servers echo a fixed value.
    bool checkValue;
};

std::uint8_t parityValue(TParityBits bits) {
    switch (bits) {
        case TParityBits::prNone:
            return cpo::kParityNone;
        case TParityBits::prOdd:
            return cpo::kParityOdd;
        case TParityBits::prEven:
            return cpo::kParityEven;
        case TParityBits::prMark:
            return cpo::kParityMark;
        case TParityBits::prSpace:
            return cpo::kParitySpace;
    }
    return cpo::kParityNone;
}

std::uint8_t stopValue(TStopBits bits) {
    switch (bits) {
        case TStopBits::sbOneStopBit:
            return cpo::kStopOne;
        case TStopBits::sbOne5StopBits:
            return cpo::kStopOneAndHalf;
        case TStopBits::sbTwoStopBits:
            return cpo::kStopTwo;
    }
    return cpo::kStopOne;
}

std::uint8_t flowValue(const TComFlowControl& flow) {
    if (flow.OutCTSFlow || flow.ControlRTS == TRTSFlowControl::rtsHandshake) {
        return cpo::kFlowHardware;
    }
    if (flow.XonXoffIn || flow.XonXoffOut) {
        return cpo::kFlowXonXoff;
    }
    return cpo::kFlowNone;
}

std::string oneByte(std::uint8_t value) {
    return std::string(1, static_cast<char>(value));
}

std::vector<LineCommand> lineCommands(const PortSettings& s) {
    int rate = s.lineRate();
    if (rate <= 0) {
        throw EComPort(ComError::SetStateFailed, EINVAL);
    }
    auto dataBits = static_cast<std::uint8_t>(5 + static_cast<int>(s.DataBits));
    std::vector<LineCommand> commands = {
        {cpo::kSetBaudRate, baudRateValue(static_cast<std::uint32_t>(rate)), true},
        {cpo::kSetDataSize, oneByte(dataBits), true},
        {cpo::kSetParity, oneByte(parityValue(s.Parity.Bits)), true},
        {cpo::kSetStopSize, oneByte(stopValue(s.StopBits)), true},
        {cpo::kSetControl, oneByte(flowValue(s.FlowControl)), false},
        {cpo::kSetControl, oneByte(cpo::kDtrOff), false},
    };
    // Under hardware flow the handshake drives RTS; forcing it off would stop the unit sending.
    if (s.FlowControl.ControlRTS != TRTSFlowControl::rtsHandshake) {
        commands.push_back({cpo::kSetControl, oneByte(cpo::kRtsOff), false});
    }
    return commands;
}

bool isLostConnection(int err) {
    return err == EPIPE || err == ECONNRESET;
}

}  // namespace

Rfc2217Device::Rfc2217Device(NetworkPort where, Rfc2217Timeouts timeouts)
    : where_(std::move(where)), timeouts_(timeouts) {}

Rfc2217Device::~Rfc2217Device() {
    close();
}

void Rfc2217Device::open(const PortSettings& settings) {
    close();
    try {
        wake_.reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
        if (!wake_.valid()) {
            throw EComPort(ComError::OpenFailed, errno);
        }
        connectAndAgree();
        applySettings(settings);
        awaitFirstModemState();
    } catch (...) {
        close();
        throw;
    }
    // Like a freshly opened tty: what came before the line was set up (a server's banner, say)
    // does not belong to the conversation.
    {
        std::lock_guard lock(rxMutex_);
        rx_.clear();
    }
    opened_ = true;
}

void Rfc2217Device::connectAndAgree() {
    int fd = -1;
    if (int err = net::connectTcp(where_.host, where_.port, timeouts_.connect, fd); err != 0) {
        throw EComPort(ComError::OpenFailed, err);
    }
    socket_.reset(fd);

    options_ = {{kOptBinary, {}, {}}, {kOptSuppressGoAhead, {}, {}}, {kOptComPort, {}, {}}};
    std::string hello;
    for (auto& option : options_) {
        hello += negotiation(kWill, option.code);
        hello += negotiation(kDo, option.code);
        option.local.requested = option.remote.requested = true;
    }
    {
        std::lock_guard lock(sendMutex_);
        auto deadline = net::Clock::now() + timeouts_.reply;
        if (int err = net::sendAll(socket_.get(), hello, deadline); err != 0) {
            throw EComPort(ComError::OpenFailed, err);
        }
    }
    // Com port commands go out under our WILL, so its answer is awaited. Should the server
    // refuse it yet offer the option from its side, that is taken, as lenient servers do.
    auto* comPort = findOption(kOptComPort);
    bool answered = pumpUntil(timeouts_.reply, ComError::OpenFailed, [&] {
        return comPort->local.answered && (comPort->local.enabled || comPort->remote.answered);
    });
    if (!answered) {
        throw EComPort(ComError::OpenFailed, ETIMEDOUT);
    }
    if (!comPortAgreed()) {
        throw EComPort(ComError::OpenFailed, EPROTONOSUPPORT);
    }
}

void Rfc2217Device::applySettings(const PortSettings& settings) {
    std::string request;
    expected_.clear();
    for (auto& command : lineCommands(settings)) {
        request += comPortCommand(command.code, command.value);
        expected_.push_back(Expected{static_cast<std::uint8_t>(command.code + cpo::kServerReply),
                                     command.value, command.checkValue});
    }
    {
        std::lock_guard lock(sendMutex_);
        auto deadline = net::Clock::now() + timeouts_.reply;
        if (int err = net::sendAll(socket_.get(), request, deadline); err != 0) {
            throw EComPort(ComError::SetStateFailed, err);
        }
    }
    // Sent together; each answer must follow the previous one within the reply time.
    auto seenCount = [this] {
        return static_cast<std::size_t>(
            std::count_if(expected_.begin(), expected_.end(), [](auto& e) { return e.seen; }));
    };
    for (std::size_t seen = 0; seen < expected_.size(); seen = seenCount()) {
        if (!pumpUntil(timeouts_.reply, ComError::SetStateFailed,
                       [&] { return seenCount() > seen; })) {
            throw EComPort(ComError::SetStateFailed, ETIMEDOUT);
        }
    }
    // The server answers with the value it really set: another value means it refused ours.
    if (!std::all_of(expected_.begin(), expected_.end(), [](auto& e) { return e.matched; })) {
        throw EComPort(ComError::SetStateFailed, EINVAL);
    }
}

void Rfc2217Device::awaitFirstModemState() {
    auto send = [this](const std::string& bytes) {
        std::lock_guard lock(sendMutex_);
        auto deadline = net::Clock::now() + timeouts_.reply;
        if (int err = net::sendAll(socket_.get(), bytes, deadline); err != 0) {
            throw EComPort(ComError::SetStateFailed, err);
        }
    };
    send(comPortCommand(cpo::kSetModemStateMask, oneByte(cpo::kModemCts | cpo::kModemDeltaCts)));
    auto seen = [this] { return modemStateSeen_; };
    if (pumpUntil(std::min(kModemStateGrace, timeouts_.modemState), ComError::SetStateFailed,
                  seen)) {
        return;
    }
    send(comPortCommand(cpo::kNotifyModemState));
    // A server that never reports leaves CTS off; a later notification is then a change.
    pumpUntil(timeouts_.modemState, ComError::SetStateFailed, seen);
}

template <typename Done>
bool Rfc2217Device::pumpUntil(milliseconds timeout, ComError error, Done done) {
    auto deadline = net::Clock::now() + timeout;
    LineEvents ignored;
    while (!done()) {
        int err = net::waitReadable(socket_.get(), deadline);
        if (err == ETIMEDOUT) {
            return false;
        }
        if (err != 0) {
            throw EComPort(error, err);
        }
        if (int lost = readAvailable(ignored); lost != 0) {
            // A server that hangs up during the opening resets the opening.
            throw EComPort(error, lost == EPIPE ? ECONNRESET : lost);
        }
    }
    return true;
}

int Rfc2217Device::readAvailable(LineEvents& events) {
    char buffer[4096];
    std::size_t total = 0;
    while (total < kMaxReadPerWake) {
        ssize_t n = ::recv(socket_.get(), buffer, sizeof buffer, 0);
        if (n > 0) {
            total += static_cast<std::size_t>(n);
            items_.clear();
            decoder_.feed(std::string_view(buffer, static_cast<std::size_t>(n)), items_);
            for (const auto& item : items_) {
                handle(item, events);
            }
            continue;
        }
        if (n == 0) {
            return EPIPE;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return 0;
        }
        return errno;
    }
    return 0;
}

void Rfc2217Device::handle(const TelnetItem& item, LineEvents& events) {
    switch (item.kind) {
        case TelnetItem::Kind::Data:
            if (opened_) {
                std::lock_guard lock(rxMutex_);
                std::size_t room = kMaxQueued - std::min(kMaxQueued, rx_.size());
                rx_.append(item.bytes, 0, std::min(room, item.bytes.size()));
                events.rxChar = true;
                events.other = events.other || room < item.bytes.size();
            }
            break;
        case TelnetItem::Kind::Negotiation:
            handleNegotiation(item.command, item.option);
            break;
        case TelnetItem::Kind::Subnegotiation:
            if (item.bytes.size() >= 2 && static_cast<std::uint8_t>(item.bytes[0]) == kOptComPort) {
                handleComPort(static_cast<std::uint8_t>(item.bytes[1]),
                              std::string_view(item.bytes).substr(2), events);
            }
            break;
        case TelnetItem::Kind::Command:
            break;
    }
}

void Rfc2217Device::handleNegotiation(std::uint8_t command, std::uint8_t code) {
    Option* option = findOption(code);
    if (option == nullptr) {
        if (auto answer = refusal(command, code); !answer.empty()) {
            sendControl(answer);
        }
        return;
    }
    bool local = command == kDo || command == kDont;
    bool yes = command == kDo || command == kWill;
    OptionSide& side = local ? option->local : option->remote;
    // Answer only a change we did not ask for, so the two ends never loop.
    if (yes && !side.enabled && !side.requested) {
        sendControl(negotiation(local ? kWill : kDo, code));
    } else if (!yes && side.enabled && !side.requested) {
        sendControl(negotiation(local ? kWont : kDont, code));
    }
    side.enabled = yes;
    side.requested = false;
    side.answered = true;
}

void Rfc2217Device::handleComPort(std::uint8_t code, std::string_view value, LineEvents& events) {
    if (code == cpo::kNotifyModemState + cpo::kServerReply) {
        if (value.empty()) {
            return;
        }
        auto state = static_cast<std::uint8_t>(value[0]);
        bool cts = (state & cpo::kModemCts) != 0;
        if (opened_) {
            events.cts = events.cts || cts != cts_ || (state & cpo::kModemDeltaCts) != 0;
            // DSR, RING, RLSD: their levels or their delta bits.
            events.other = events.other || ((state ^ modemState_) & 0xE0) != 0 || (state & 0x0E);
        }
        cts_ = cts;
        modemState_ = state;
        modemStateSeen_ = true;
        return;
    }
    if (code == cpo::kNotifyLineState + cpo::kServerReply) {
        events.other = events.other || opened_;
        return;
    }
    if (opened_) {
        // Answers to a purge and flow-control requests need nothing from us.
        return;
    }
    for (auto& e : expected_) {
        if (e.reply == code && !e.seen) {
            e.seen = true;
            e.matched = !e.checkValue || value.substr(0, e.value.size()) == e.value;
            break;
        }
    }
}

void Rfc2217Device::sendControl(const std::string& bytes) {
    std::lock_guard lock(sendMutex_);
    // A failure here means the connection is going; reading will tell.
    (void)net::sendAll(socket_.get(), bytes, net::Clock::now() + timeouts_.reply);
}

Rfc2217Device::Option* Rfc2217Device::findOption(std::uint8_t code) {
    auto it = std::find_if(options_.begin(), options_.end(),
                           [code](const Option& o) { return o.code == code; });
    return it == options_.end() ? nullptr : &*it;
}

bool Rfc2217Device::comPortAgreed() const {
    for (const auto& option : options_) {
        if (option.code == kOptComPort) {
            return option.local.enabled || option.remote.enabled;
        }
    }
    return false;
}

LineEvents Rfc2217Device::waitForEvents() {
    for (;;) {
        pollfd fds[2] = {{wake_.get(), POLLIN, 0}, {socket_.get(), POLLIN, 0}};
        // Once the connection is lost only a cancel can end the wait: no busy loop.
        nfds_t count = goneReported_ ? 1 : 2;
        if (::poll(fds, count, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (goneReported_) {
                return {};
            }
            LineEvents events;
            markGone(errno, events);
            return events;
        }
        if (fds[0].revents != 0) {
            return {};
        }
        if (count == 2 && fds[1].revents != 0) {
            LineEvents events;
            if (int lost = readAvailable(events); lost != 0) {
                markGone(lost, events);
            }
            if (events.any()) {
                return events;
            }
        }
    }
}

void Rfc2217Device::markGone(int err, LineEvents& events) {
    goneReported_ = true;
    goneErrno_ = err;
    events.gone = true;
    // A line that is gone reads CTS off; like every change of the level, that is an event.
    events.cts = events.cts || cts_.exchange(false);
}

void Rfc2217Device::cancelWait() {
    if (wake_.valid()) {
        std::uint64_t one = 1;
        // The counter stays set (nobody reads it), so later waits return at once too.
        (void)!::write(wake_.get(), &one, sizeof one);
    }
}

std::string Rfc2217Device::readQueued() {
    std::lock_guard lock(rxMutex_);
    std::string out;
    out.swap(rx_);
    return out;
}

bool Rfc2217Device::ctsLevel() {
    return cts_;
}

void Rfc2217Device::write(std::string_view bytes) {
    if (!socket_.valid()) {
        throw EComPort(ComError::WriteFailed, EBADF);
    }
    if (int gone = goneErrno_; gone != 0) {
        throw EComPort(ComError::WriteFailed, gone);
    }
    auto deadline = net::Clock::now() + milliseconds(100 * bytes.size() + 1000);
    std::lock_guard lock(sendMutex_);
    // Done once the server has the bytes, not when they sit in our socket buffer: a close
    // right after a cycle must not lose the cycle's records.
    int err = net::sendAll(socket_.get(), escapeData(bytes), deadline);
    if (err == 0) {
        err = net::waitDelivered(socket_.get(), deadline);
    }
    if (err != 0) {
        if (isLostConnection(err)) {
            int expected = 0;
            goneErrno_.compare_exchange_strong(expected, err);
        }
        throw EComPort(ComError::WriteFailed, err);
    }
}

void Rfc2217Device::purge() {
    {
        std::lock_guard lock(rxMutex_);
        rx_.clear();
    }
    // A lost connection has nothing pending to abandon.
    if (!socket_.valid() || goneErrno_ != 0) {
        return;
    }
    // Only data not yet received is abandoned: every write has completed, and records still on
    // their way out of the server's line must reach the unit.
    std::string request = comPortCommand(cpo::kPurgeData, oneByte(cpo::kPurgeReceive));
    std::lock_guard lock(sendMutex_);
    int err = net::sendAll(socket_.get(), request, net::Clock::now() + kPurgeTimeout);
    if (err != 0 && !isLostConnection(err)) {
        throw EComPort(ComError::PurgeFailed, err);
    }
}

void Rfc2217Device::close() noexcept {
    if (socket_.valid() && goneErrno_ == 0) {
        // An orderly end, so the server reads everything we sent before it sees us go.
        net::closeGracefully(socket_.get(), net::Clock::now() + kCloseTimeout);
    }
    socket_.reset();
    wake_.reset();
    decoder_.reset();
    items_.clear();
    options_.clear();
    expected_.clear();
    opened_ = false;
    modemStateSeen_ = false;
    modemState_ = 0;
    goneReported_ = false;
    cts_ = false;
    goneErrno_ = 0;
    std::lock_guard lock(rxMutex_);
    rx_.clear();
}

}  // namespace beamlink
