#pragma once
// A local serial line: a tty device or a pseudo-terminal, set up through termios2.
//
// Line events come from poll() on the device plus an eventfd that cancelWait() and the CTS
// helper write to. CTS changes are watched on a helper thread with TIOCMIWAIT and counted with
// TIOCGICOUNT, so no edge is lost between two waits; a line without modem lines (a
// pseudo-terminal) reads CTS as off and never reports a CTS change.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "SerialDevice.h"

struct termios2;  // <asm/termbits.h>, kept out of this header: it clashes with <termios.h>

namespace beamlink {

// Turns `tio` into a raw line with the settings' rate, character format and flow control;
// everything else in it is kept. Rates without a Bnnn constant use BOTHER. Throws
// EComPort(SetStateFailed) for a rate that is not positive.
void buildLineSettings(termios2& tio, const PortSettings& settings);

class TtyDevice final : public SerialDevice {
public:
    explicit TtyDevice(std::string path);
    ~TtyDevice() override;
    TtyDevice(const TtyDevice&) = delete;
    TtyDevice& operator=(const TtyDevice&) = delete;

    const std::string& path() const { return path_; }

    void open(const PortSettings& settings) override;
    LineEvents waitForEvents() override;
    void cancelWait() override;
    std::string readQueued() override;
    bool ctsLevel() override;
    void write(std::string_view bytes) override;
    void purge() override;
    void close() noexcept override;

private:
    void wake() noexcept;
    void startCtsWatch(std::uint32_t edgesNow);
    void stopCtsWatch() noexcept;
    void watchCts() noexcept;

    std::string path_;
    int fd_ = -1;
    int wakeFd_ = -1;
    std::atomic<bool> cancelled_{false};
    bool gone_ = false;  // watcher thread only

    std::thread ctsHelper_;
    std::atomic<bool> ctsHelperStop_{false};
    std::atomic<bool> ctsHelperDone_{false};
    std::atomic<std::uint32_t> ctsEdges_{0};  // CTS transitions counted by the driver
    std::uint32_t reportedCtsEdges_ = 0;      // watcher thread only
};

}  // namespace beamlink
