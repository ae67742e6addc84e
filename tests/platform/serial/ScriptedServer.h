#pragma once
// A deliberately simple RFC 2217 server on 127.0.0.1 for device tests: it plays one client with
// a fixed script (agree or refuse the com port option, acknowledge settings or not, report the
// modem state at agreement, only when asked, or never) and records what the client sent. The
// test thread can push raw bytes and hang up, with or without a reset.

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "PortName.h"
#include "SocketIo.h"
#include "TelnetCodec.h"

namespace beamlink::testing {

struct ServerScript {
    enum class Notify { AtAgreement, WhenAsked, Never };
    bool answerOptions = true;  // false: not a telnet server at all
    bool agreeComPort = true;
    bool ackSettings = true;
    std::optional<std::uint32_t> baudAnswer;  // answer SET-BAUDRATE with this instead
    Notify notify = Notify::AtAgreement;
    std::uint8_t modemState = 0;
    std::string greeting;  // raw bytes sent right after accepting
    bool hangUpAtAccept = false;
    int receiveBuffer = 0;  // SO_RCVBUF of the accepted socket, 0: system default
    bool readData = true;   // false: stop reading once the settings are done
};

class ScriptedServer {
public:
    explicit ScriptedServer(ServerScript script = {}) : script_(std::move(script)) {
        int fd = -1;
        int err = net::listenLoopback(0, fd, port_);
        if (err != 0) {
            throw std::runtime_error("listen failed");
        }
        listener_.reset(fd);
        if (script_.receiveBuffer > 0) {
            ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &script_.receiveBuffer,
                         sizeof script_.receiveBuffer);
        }
        thread_ = std::thread([this] { run(); });
    }
    ~ScriptedServer() {
        stop_ = true;
        thread_.join();
    }

    NetworkPort where() const { return {"127.0.0.1", port_}; }

    void sendRaw(const std::string& bytes) {
        std::lock_guard lock(mutex_);
        if (client_.valid()) {
            (void)net::sendAll(client_.get(), bytes,
                               net::Clock::now() + std::chrono::milliseconds(2000));
        }
    }
    void notify(std::uint8_t state) {
        sendRaw(telnet::comPortCommand(telnet::cpo::kNotifyModemState + telnet::cpo::kServerReply,
                                       std::string(1, static_cast<char>(state))));
    }
    // An orderly close (FIN), or with reset a RST (SO_LINGER 0 and close).
    void hangUp(bool reset) {
        std::lock_guard lock(mutex_);
        if (!client_.valid()) {
            return;
        }
        if (reset) {
            linger off{1, 0};
            ::setsockopt(client_.get(), SOL_SOCKET, SO_LINGER, &off, sizeof off);
            client_.reset();
        } else {
            ::shutdown(client_.get(), SHUT_WR);
        }
    }

    std::vector<std::pair<int, int>> negotiations() const {
        std::lock_guard lock(mutex_);
        return negotiations_;
    }
    // COM-PORT-OPTION bodies without the option byte: command, value...
    std::vector<std::string> comPortCommands() const {
        std::lock_guard lock(mutex_);
        return comPort_;
    }
    std::string data() const {
        std::lock_guard lock(mutex_);
        return data_;
    }
    template <typename Pred>
    bool waitFor(Pred pred, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return pred(*this); });
    }
    // For waitFor predicates, called with the lock held.
    const std::vector<std::string>& comPortLocked() const { return comPort_; }
    const std::string& dataLocked() const { return data_; }

private:
    void run() {
        using namespace std::chrono_literals;
        // Short poll slices so the destructor is never kept waiting for long.
        while (!stop_) {
            pollfd p{};
            {
                std::lock_guard lock(mutex_);
                p = {client_.valid() ? client_.get() : (accepted_ ? -1 : listener_.get()), POLLIN,
                     0};
            }
            if (p.fd < 0 || (!reading_ && accepted_)) {
                std::this_thread::sleep_for(20ms);
                continue;
            }
            if (::poll(&p, 1, 20) <= 0) {
                continue;
            }
            if (!accepted_) {
                accept();
            } else {
                read();
            }
        }
    }

    void accept() {
        int fd = ::accept4(listener_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            return;
        }
        accepted_ = true;
        std::lock_guard lock(mutex_);
        client_.reset(fd);
        if (script_.hangUpAtAccept) {
            client_.reset();
            return;
        }
        if (!script_.greeting.empty()) {
            (void)net::sendAll(fd, script_.greeting, net::Clock::now() + std::chrono::seconds(2));
        }
    }

    void read() {
        char buffer[4096];
        std::unique_lock lock(mutex_);
        if (!client_.valid()) {
            return;
        }
        ssize_t n = ::recv(client_.get(), buffer, sizeof buffer, 0);
        if (n <= 0) {
            if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                client_.reset();
            }
            return;
        }
        items_.clear();
        decoder_.feed(std::string_view(buffer, static_cast<std::size_t>(n)), items_);
        for (const auto& item : items_) {
            handle(item);
        }
        lock.unlock();
        changed_.notify_all();
    }

    void reply(const std::string& bytes) {
        (void)net::sendAll(client_.get(), bytes, net::Clock::now() + std::chrono::seconds(2));
    }

    void handle(const telnet::TelnetItem& item) {
        using namespace telnet;
        switch (item.kind) {
            case TelnetItem::Kind::Data:
                data_ += item.bytes;
                break;
            case TelnetItem::Kind::Negotiation:
                negotiations_.emplace_back(item.command, item.option);
                if (script_.answerOptions) {
                    answer(item.command, item.option);
                }
                break;
            case TelnetItem::Kind::Subnegotiation:
                if (item.bytes.size() >= 2 &&
                    static_cast<std::uint8_t>(item.bytes[0]) == kOptComPort) {
                    comPort_.push_back(item.bytes.substr(1));
                    onComPort(static_cast<std::uint8_t>(item.bytes[1]), item.bytes.substr(2));
                }
                break;
            case TelnetItem::Kind::Command:
                break;
        }
    }

    void answer(std::uint8_t command, std::uint8_t option) {
        using namespace telnet;
        bool yes = command == kWill || command == kDo;
        if (!yes) {
            return;
        }
        bool agree = option != kOptComPort || script_.agreeComPort;
        std::uint8_t answer = command == kWill ? (agree ? kDo : kDont) : (agree ? kWill : kWont);
        reply(negotiation(answer, option));
        if (option == kOptComPort && agree && !agreed_) {
            agreed_ = true;
            if (script_.notify == ServerScript::Notify::AtAgreement) {
                sendModemState();
            }
        }
    }

    void sendModemState() {
        using namespace telnet;
        reply(comPortCommand(cpo::kNotifyModemState + cpo::kServerReply,
                             std::string(1, static_cast<char>(script_.modemState))));
    }

    void onComPort(std::uint8_t code, const std::string& value) {
        using namespace telnet;
        if (code == cpo::kNotifyModemState) {
            if (script_.notify == ServerScript::Notify::WhenAsked) {
                sendModemState();
            }
            return;
        }
        if (code == cpo::kSetModemStateMask) {
            reading_ = script_.readData;
            return;
        }
        if (code < cpo::kSetBaudRate || code > cpo::kSetControl || !script_.ackSettings) {
            return;
        }
        std::string answer = value;
        if (code == cpo::kSetBaudRate && script_.baudAnswer) {
            answer = baudRateValue(*script_.baudAnswer);
        }
        reply(telnet::comPortCommand(static_cast<std::uint8_t>(code + cpo::kServerReply), answer));
    }

    ServerScript script_;
    int port_ = 0;
    net::Fd listener_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> reading_{true};
    bool accepted_ = false;  // one client per server
    bool agreed_ = false;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    net::Fd client_;
    telnet::TelnetDecoder decoder_;
    std::vector<telnet::TelnetItem> items_;
    std::vector<std::pair<int, int>> negotiations_;
    std::vector<std::string> comPort_;
    std::string data_;
};

}  // namespace beamlink::testing
