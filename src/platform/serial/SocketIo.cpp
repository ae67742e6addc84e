#include "SocketIo.h"

#include <arpa/inet.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <thread>

namespace beamlink::net {

void Fd::reset(int fd) {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    fd_ = fd;
}

int pollTimeout(Clock::time_point deadline) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left);
}

namespace {

int waitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        int n = ::poll(&p, 1, pollTimeout(deadline));
        if (n > 0) {
            return 0;
        }
        if (n == 0) {
            return ETIMEDOUT;
        }
        if (errno != EINTR) {
            return errno;
        }
    }
}

int connectOne(const addrinfo& ai, Clock::time_point deadline, int& fdOut) {
    Fd fd(::socket(ai.ai_family, ai.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai.ai_protocol));
    if (!fd.valid()) {
        return errno;
    }
    if (::connect(fd.get(), ai.ai_addr, ai.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
            return errno;
        }
        if (int err = waitFor(fd.get(), POLLOUT, deadline); err != 0) {
            return err;
        }
        int soError = 0;
        socklen_t len = sizeof soError;
        if (::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &soError, &len) != 0) {
            return errno;
        }
        if (soError != 0) {
            return soError;
        }
    }
    int on = 1;
    ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    fdOut = fd.release();
    return 0;
}

}  // namespace

int connectTcp(const std::string& host, int port, std::chrono::milliseconds timeout, int& fd) {
    auto deadline = Clock::now() + timeout;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* list = nullptr;
    std::string service = std::to_string(port);
    if (int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list); rc != 0) {
        // A name that does not resolve is a port that does not exist.
        return rc == EAI_SYSTEM && errno != 0 ? errno : ENOENT;
    }
    int err = ENOENT;
    for (addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
        err = connectOne(*ai, deadline, fd);
        if (err == 0 || err == ETIMEDOUT) {
            break;
        }
    }
    ::freeaddrinfo(list);
    return err;
}

int listenLoopback(int port, int& fdOut, int& boundPort) {
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
        return errno;
    }
    int on = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        return errno;
    }
    if (::listen(fd.get(), 4) != 0) {
        return errno;
    }
    socklen_t len = sizeof addr;
    if (::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        return errno;
    }
    boundPort = ntohs(addr.sin_port);
    fdOut = fd.release();
    return 0;
}

int sendAll(int fd, std::string_view bytes, Clock::time_point deadline) {
    while (!bytes.empty()) {
        ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return errno;
        }
        if (Clock::now() >= deadline) {
            return ETIMEDOUT;
        }
        if (int err = waitFor(fd, POLLOUT, deadline); err != 0) {
            return err;
        }
    }
    return 0;
}

int waitReadable(int fd, Clock::time_point deadline) {
    return waitFor(fd, POLLIN, deadline);
}

int waitDelivered(int fd, Clock::time_point deadline) {
    for (;;) {
        int unacknowledged = 0;
        if (::ioctl(fd, SIOCOUTQ, &unacknowledged) < 0) {
            return errno;
        }
        if (unacknowledged == 0) {
            return 0;
        }
        if (Clock::now() >= deadline) {
            return ETIMEDOUT;
        }
        // Acknowledgements come within a round trip; on a LAN that is well under a millisecond.
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

void closeGracefully(int fd, Clock::time_point deadline) {
    if (::shutdown(fd, SHUT_WR) < 0) {
        return;
    }
    char sink[512];
    while (waitFor(fd, POLLIN, deadline) == 0) {
        ssize_t n = ::recv(fd, sink, sizeof sink, 0);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
            return;
        }
    }
}

}  // namespace beamlink::net
