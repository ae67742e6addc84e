#pragma once
// The few TCP socket steps a network serial port needs, each bounded in time. Every function
// returns 0 or the errno of the step that failed (ETIMEDOUT when time ran out).

#include <chrono>
#include <string>
#include <string_view>

namespace beamlink::net {

using Clock = std::chrono::steady_clock;

// Connects a non-blocking stream socket to host:port, trying each address the name has; with
// TCP_NODELAY, since records are short and paced by the line.
int connectTcp(const std::string& host, int port, std::chrono::milliseconds timeout, int& fd);
// A non-blocking listening socket on 127.0.0.1; port 0 picks a free one. boundPort is the port.
int listenLoopback(int port, int& fd, int& boundPort);
// Sends every byte (without SIGPIPE), waiting for room until the deadline.
int sendAll(int fd, std::string_view bytes, Clock::time_point deadline);
// Waits until the peer has acknowledged every byte sent (the socket's send queue is empty).
int waitDelivered(int fd, Clock::time_point deadline);
// Ends the sending side, then reads and drops what the peer still sends until it closes or the
// deadline passes; closing with unread input would reset the connection and could cost the
// peer data it has not read yet.
void closeGracefully(int fd, Clock::time_point deadline);
// Waits until fd is readable (or has hung up). 0 when readable, ETIMEDOUT when not by deadline.
int waitReadable(int fd, Clock::time_point deadline);
// Milliseconds left until deadline for poll(), never negative.
int pollTimeout(Clock::time_point deadline);

// Owns a file descriptor.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

}  // namespace beamlink::net
