#include "TtyDevice.h"

// termios2 and BOTHER come from the kernel's own header; glibc's <termios.h> declares a
// different struct termios under the same name, so it must not be included here.
#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <utility>

#include "EComPort.h"

namespace beamlink {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Interrupts the CTS helper's TIOCMIWAIT. Installed without SA_RESTART so the ioctl returns.
constexpr int kWakeSignal = SIGUSR2;

void ignoreSignal(int) {}

void installWakeSignal() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_handler = ignoreSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        sigaction(kWakeSignal, &action, nullptr);
    });
}

struct RateCode {
    int rate;
    unsigned code;
};

// Rates with a Bnnn constant; any other rate goes through BOTHER.
constexpr std::array<RateCode, 30> kRateCodes = {{
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
}};

void setRate(termios2& tio, int rate) {
    auto it = std::find_if(kRateCodes.begin(), kRateCodes.end(),
                           [rate](const RateCode& rc) { return rc.rate == rate; });
    // Input speed bits stay zero: input runs at the output rate.
    tio.c_cflag &= ~(CBAUD | CIBAUD);
    tio.c_cflag |= it != kRateCodes.end() ? it->code : BOTHER;
    tio.c_ispeed = static_cast<unsigned>(rate);
    tio.c_ospeed = static_cast<unsigned>(rate);
}

unsigned dataBitsFlag(TDataBits bits) {
    switch (bits) {
        case TDataBits::dbFive:
            return CS5;
        case TDataBits::dbSix:
            return CS6;
        case TDataBits::dbSeven:
            return CS7;
        case TDataBits::dbEight:
            return CS8;
    }
    return CS8;
}

unsigned parityFlags(TParityBits bits) {
    switch (bits) {
        case TParityBits::prNone:
            return 0;
        case TParityBits::prOdd:
            return PARENB | PARODD;
        case TParityBits::prEven:
            return PARENB;
        // With CMSPAR the parity bit is fixed: PARODD selects mark (1), its absence space (0).
        case TParityBits::prMark:
            return PARENB | CMSPAR | PARODD;
        case TParityBits::prSpace:
            return PARENB | CMSPAR;
    }
    return 0;
}

void applyLineSettings(int fd, const PortSettings& s) {
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) < 0) {
        throw EComPort(ComError::SetStateFailed, errno);
    }
    buildLineSettings(tio, s);
    if (ioctl(fd, TCSETS2, &tio) < 0) {
        throw EComPort(ComError::SetStateFailed, errno);
    }
}

// DTR and RTS as the flow settings ask; a handshake line is left to the driver.
void applyModemLines(int fd, const TComFlowControl& flow) {
    int raise = 0;
    int lower = 0;
    switch (flow.ControlDTR) {
        case TDTRFlowControl::dtrDisable:
            lower |= TIOCM_DTR;
            break;
        case TDTRFlowControl::dtrEnable:
            raise |= TIOCM_DTR;
            break;
        case TDTRFlowControl::dtrHandshake:
            break;
    }
    switch (flow.ControlRTS) {
        case TRTSFlowControl::rtsDisable:
            lower |= TIOCM_RTS;
            break;
        case TRTSFlowControl::rtsEnable:
            raise |= TIOCM_RTS;
            break;
        case TRTSFlowControl::rtsHandshake:
        case TRTSFlowControl::rtsToggle:
            break;
    }
    // A pseudo-terminal has no modem lines and answers ENOTTY.
    if (lower != 0 && ioctl(fd, TIOCMBIC, &lower) < 0 && errno != ENOTTY) {
        throw EComPort(ComError::SetStateFailed, errno);
    }
    if (raise != 0 && ioctl(fd, TIOCMBIS, &raise) < 0 && errno != ENOTTY) {
        throw EComPort(ComError::SetStateFailed, errno);
    }
}

// Closes a descriptor unless released, so every failed step of open() leaves nothing open.
class FdGuard {
public:
    explicit FdGuard(int fd) : fd_(fd) {}
    ~FdGuard() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

int millisecondsUntil(Clock::time_point deadline) {
    auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<decltype(left)>(left, 0, 1 << 30));
}

}  // namespace

void buildLineSettings(termios2& tio, const PortSettings& s) {
    const int rate = s.lineRate();
    if (rate <= 0) {
        throw EComPort(ComError::SetStateFailed, EINVAL);
    }
    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IXON |
                     IXOFF | IXANY | IMAXBEL | INPCK | IGNPAR);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= CREAD | CLOCAL;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;

    setRate(tio, rate);
    tio.c_cflag |= dataBitsFlag(s.DataBits);
    // Linux knows one or two stop bits; the UART sends 1.5 when asked for two at 5 data bits.
    if (s.StopBits != TStopBits::sbOneStopBit) {
        tio.c_cflag |= CSTOPB;
    }
    tio.c_cflag |= parityFlags(s.Parity.Bits);
    if (s.Parity.Bits != TParityBits::prNone && s.Parity.Check) {
        tio.c_iflag |= INPCK;
    }

    const TComFlowControl& flow = s.FlowControl;
    if (flow.OutCTSFlow || flow.ControlRTS == TRTSFlowControl::rtsHandshake) {
        tio.c_cflag |= CRTSCTS;
    }
    if (flow.XonXoffOut) {
        tio.c_iflag |= IXON;
    }
    if (flow.XonXoffIn) {
        tio.c_iflag |= IXOFF;
    }
    tio.c_cc[VSTART] = static_cast<cc_t>(flow.XonChar);
    tio.c_cc[VSTOP] = static_cast<cc_t>(flow.XoffChar);
}

TtyDevice::TtyDevice(std::string path) : path_(std::move(path)) {}

TtyDevice::~TtyDevice() {
    close();
}

void TtyDevice::open(const PortSettings& settings) {
    close();
    FdGuard fd(::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        throw EComPort(ComError::OpenFailed, errno);
    }
    // flock keeps out other programs that lock (and root, whom TIOCEXCL lets through).
    if (flock(fd.get(), LOCK_EX | LOCK_NB) < 0 || ioctl(fd.get(), TIOCEXCL) < 0) {
        throw EComPort(ComError::OpenFailed, errno);
    }
    applyLineSettings(fd.get(), settings);
    applyModemLines(fd.get(), settings.FlowControl);
    // Whatever was queued before this opening belongs to nobody.
    if (ioctl(fd.get(), TCFLSH, TCIOFLUSH) < 0) {
        throw EComPort(ComError::SetStateFailed, errno);
    }
    FdGuard wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (wake.get() < 0) {
        throw EComPort(ComError::OpenFailed, errno);
    }

    fd_ = fd.release();
    wakeFd_ = wake.release();
    cancelled_ = false;
    gone_ = false;

    serial_icounter_struct count{};
    if (ioctl(fd_, TIOCGICOUNT, &count) == 0) {
        startCtsWatch(static_cast<std::uint32_t>(count.cts));
    }
}

void TtyDevice::close() noexcept {
    stopCtsWatch();
    if (fd_ >= 0) {
        ioctl(fd_, TIOCNXCL);
        ::close(fd_);  // also drops the flock
        fd_ = -1;
    }
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
        wakeFd_ = -1;
    }
}

void TtyDevice::wake() noexcept {
    if (wakeFd_ >= 0) {
        std::uint64_t one = 1;
        [[maybe_unused]] auto written = ::write(wakeFd_, &one, sizeof one);
    }
}

void TtyDevice::cancelWait() {
    cancelled_ = true;
    wake();
}

LineEvents TtyDevice::waitForEvents() {
    if (fd_ < 0) {
        return {};
    }
    for (;;) {
        if (cancelled_) {
            return {};
        }
        // Once the device is gone only the wake-up descriptor is watched, so nothing spins.
        std::array<pollfd, 2> fds = {{{wakeFd_, POLLIN, 0}, {fd_, POLLIN, 0}}};
        const nfds_t count = gone_ ? 1 : 2;
        if (poll(fds.data(), count, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (gone_) {
                return {};
            }
            gone_ = true;
            LineEvents vanished;
            vanished.gone = true;
            return vanished;
        }
        if (fds[0].revents & POLLIN) {
            std::uint64_t drained = 0;
            [[maybe_unused]] auto got = ::read(wakeFd_, &drained, sizeof drained);
        }
        if (cancelled_) {
            return {};
        }

        LineEvents events;
        if (std::uint32_t edges = ctsEdges_.load(); edges != reportedCtsEdges_) {
            reportedCtsEdges_ = edges;
            events.cts = true;
        }
        if (!gone_ && fds[1].revents != 0) {
            int queued = 0;
            if ((fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 ||
                ioctl(fd_, FIONREAD, &queued) < 0 || queued <= 0) {
                // Hang-up, or readable with nothing to read: the device has vanished.
                events.gone = true;
                gone_ = true;
            } else {
                events.rxChar = true;
            }
        }
        if (events.any()) {
            return events;
        }
    }
}

std::string TtyDevice::readQueued() {
    if (fd_ < 0) {
        throw EComPort(ComError::ClearCommFailed, EBADF);
    }
    int queued = 0;
    if (ioctl(fd_, FIONREAD, &queued) < 0) {
        if (errno == EIO) {
            return {};  // hung up; the watcher reports it
        }
        throw EComPort(ComError::ClearCommFailed, errno);
    }
    std::string bytes(static_cast<std::size_t>(std::max(queued, 0)), '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        ssize_t n = ::read(fd_, bytes.data() + got, bytes.size() - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n == 0 || errno == EAGAIN || errno == EIO) {
            break;
        } else {
            throw EComPort(ComError::ClearCommFailed, errno);
        }
    }
    bytes.resize(got);
    return bytes;
}

bool TtyDevice::ctsLevel() {
    if (fd_ < 0) {
        throw EComPort(ComError::ModemStatusFailed, EBADF);
    }
    int lines = 0;
    if (ioctl(fd_, TIOCMGET, &lines) < 0) {
        if (errno == ENOTTY) {
            return false;  // no modem lines
        }
        throw EComPort(ComError::ModemStatusFailed, errno);
    }
    return (lines & TIOCM_CTS) != 0;
}

void TtyDevice::write(std::string_view bytes) {
    if (fd_ < 0) {
        throw EComPort(ComError::WriteFailed, EBADF);
    }
    const auto deadline = Clock::now() + milliseconds(100 * bytes.size() + 1000);
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN) {
            throw EComPort(ComError::WriteFailed, errno);
        }
        // The output buffer is full (flow control, or a slow line): wait for room.
        pollfd room{fd_, POLLOUT, 0};
        int ready = poll(&room, 1, millisecondsUntil(deadline));
        if (ready < 0 && errno != EINTR) {
            throw EComPort(ComError::WriteFailed, errno);
        }
        if (ready == 0) {
            throw EComPort(ComError::WriteFailed, ETIMEDOUT);
        }
        if (ready > 0 && (room.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            throw EComPort(ComError::WriteFailed, EIO);
        }
    }
    // The write completes when the bytes have left the driver's output queue.
    for (;;) {
        int pending = 0;
        if (ioctl(fd_, TIOCOUTQ, &pending) < 0) {
            throw EComPort(ComError::WriteFailed, errno);
        }
        if (pending <= 0) {
            return;
        }
        if (Clock::now() >= deadline) {
            throw EComPort(ComError::WriteFailed, ETIMEDOUT);
        }
        std::this_thread::sleep_for(milliseconds(1));
    }
}

void TtyDevice::purge() {
    if (fd_ < 0) {
        return;
    }
    // A hung-up device has nothing left to abandon; failing here would make it unclosable.
    if (ioctl(fd_, TCFLSH, TCIOFLUSH) < 0 && errno != EIO) {
        throw EComPort(ComError::PurgeFailed, errno);
    }
}

void TtyDevice::startCtsWatch(std::uint32_t edgesNow) {
    installWakeSignal();
    ctsEdges_ = edgesNow;
    reportedCtsEdges_ = edgesNow;
    ctsHelperStop_ = false;
    ctsHelperDone_ = false;
    ctsHelper_ = std::thread(&TtyDevice::watchCts, this);
}

void TtyDevice::watchCts() noexcept {
    while (!ctsHelperStop_) {
        // The count, not the wake-up, says whether CTS moved; reading it right before each
        // wait also catches an edge that came while the last one was being reported.
        serial_icounter_struct count{};
        if (ioctl(fd_, TIOCGICOUNT, &count) < 0) {
            break;
        }
        auto edges = static_cast<std::uint32_t>(count.cts);
        if (ctsEdges_.exchange(edges) != edges) {
            wake();
        }
        if (ioctl(fd_, TIOCMIWAIT, TIOCM_CTS) < 0 && errno != EINTR) {
            break;  // no modem lines after all, or the device went away
        }
    }
    ctsHelperDone_ = true;
}

void TtyDevice::stopCtsWatch() noexcept {
    if (!ctsHelper_.joinable()) {
        return;
    }
    ctsHelperStop_ = true;
    // A signal that lands just before the helper enters TIOCMIWAIT is lost, so repeat it
    // until the helper has seen the stop flag; bounded at about five seconds.
    for (int attempt = 0; attempt < 5000 && !ctsHelperDone_; ++attempt) {
        pthread_kill(ctsHelper_.native_handle(), kWakeSignal);
        std::this_thread::sleep_for(milliseconds(1));
    }
    ctsHelper_.join();
}

}  // namespace beamlink
