#pragma once
// A pseudo-terminal for tests that need a real tty: the test holds the master side and hands
// slavePath() to the code under test as its port name. What that code writes to the slave is
// read here from the master; what the test writes to the master arrives at the slave.
//
// All reads are bounded by a timeout, so a test that waits for bytes that never come fails
// instead of hanging. Throws std::runtime_error when no pseudo-terminal can be made.

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

namespace beamlink::test {

class PtyPair {
public:
    PtyPair() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0) {
            fail("posix_openpt");
        }
        char name[128] = {};
        if (grantpt(master_) != 0 || unlockpt(master_) != 0 ||
            ptsname_r(master_, name, sizeof name) != 0) {
            int saved = errno;
            closeMaster();
            errno = saved;
            fail("grantpt/unlockpt/ptsname_r");
        }
        slavePath_ = name;
        // Non-blocking so a read never outlasts its timeout.
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~PtyPair() { closeMaster(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    // The device path of the slave side, e.g. /dev/pts/3.
    const std::string& slavePath() const { return slavePath_; }
    // The master descriptor, for ioctls such as TCGETS2 (which on a master report the slave's
    // settings); -1 once closed.
    int masterFd() const { return master_; }

    // Writes every byte into the master, so the slave side receives them.
    void write(std::string_view bytes) {
        while (!bytes.empty()) {
            ssize_t n = ::write(master_, bytes.data(), bytes.size());
            if (n > 0) {
                bytes.remove_prefix(static_cast<std::size_t>(n));
            } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
                fail("write to pty master");
            } else if (n < 0 && errno == EAGAIN) {
                waitFor(POLLOUT, std::chrono::milliseconds(100));
            }
        }
    }

    // Reads until `count` bytes have arrived or the timeout has passed; returns what came.
    std::string read(std::size_t count, std::chrono::milliseconds timeout) {
        return readWhile(timeout, [&](const std::string& got) { return got.size() < count; });
    }

    // Reads until `end` has arrived (it is included) or the timeout has passed.
    std::string readUntil(char end, std::chrono::milliseconds timeout) {
        return readWhile(timeout,
                         [&](const std::string& got) { return got.empty() || got.back() != end; });
    }

    // Closes the master: the slave side sees a hang-up, and its path goes away.
    void closeMaster() {
        if (master_ >= 0) {
            ::close(master_);
            master_ = -1;
        }
    }

private:
    [[noreturn]] static void fail(const char* what) {
        throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
    }

    bool waitFor(short events, std::chrono::milliseconds timeout) {
        pollfd p{master_, events, 0};
        return poll(&p, 1, static_cast<int>(timeout.count())) > 0;
    }

    // Reads one byte at a time so nothing past the wanted end is taken from the master.
    template <typename More>
    std::string readWhile(std::chrono::milliseconds timeout, More more) {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + timeout;
        std::string got;
        while (master_ >= 0 && more(got)) {
            char c = 0;
            ssize_t n = ::read(master_, &c, 1);
            if (n == 1) {
                got.push_back(c);
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if ((n < 0 && errno != EAGAIN && errno != EIO) || left.count() <= 0) {
                break;
            }
            auto pause = std::min(left, std::chrono::milliseconds(50));
            if (n < 0 && errno == EIO) {
                // No slave is open at the moment and poll() would report that at once.
                poll(nullptr, 0,
                     static_cast<int>(std::min(pause, std::chrono::milliseconds(10)).count()));
            } else {
                waitFor(POLLIN, pause);
            }
        }
        return got;
    }

    int master_ = -1;
    std::string slavePath_;
};

}  // namespace beamlink::test
