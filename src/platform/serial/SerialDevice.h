#pragma once
// One open line to a beam unit: a tty or a network serial port. TComPort drives it from two
// threads: the watcher calls waitForEvents(), everything else runs on the main thread.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "PortSettings.h"

namespace beamlink {

struct LineEvents {
    bool rxChar = false;  // bytes are queued for readQueued()
    bool cts = false;     // the CTS input changed at least once
    bool other = false;   // DSR, RING, RLSD, break or line error: watched, never acted on
    bool gone = false;    // the device vanished; the watcher ends after this batch
    bool any() const { return rxChar || cts || other || gone; }
};

class SerialDevice {
public:
    virtual ~SerialDevice() = default;

    // Opens and configures the line with DTR and RTS off. Throws EComPort; on failure nothing
    // stays open.
    virtual void open(const PortSettings& settings) = 0;
    // Watcher thread: blocks without polling until line events arrive or cancelWait() is called.
    // Returns an empty set once cancelled.
    virtual LineEvents waitForEvents() = 0;
    // Any thread: makes a blocked or later waitForEvents() return an empty set at once.
    virtual void cancelWait() = 0;
    // Main thread: every byte queued at this moment, without blocking. Throws
    // EComPort(ClearCommFailed).
    virtual std::string readQueued() = 0;
    // Main thread: the CTS level now; a line without modem lines reads off. Throws
    // EComPort(ModemStatusFailed).
    virtual bool ctsLevel() = 0;
    // Main thread: returns once the bytes have left the output queue, within
    // 100 * size + 1000 ms. Throws EComPort(WriteFailed).
    virtual void write(std::string_view bytes) = 0;
    // Abandons pending input and output. Throws EComPort(PurgeFailed).
    virtual void purge() = 0;
    virtual void close() noexcept = 0;
};

using DeviceFactory = std::function<std::unique_ptr<SerialDevice>(const std::string& portName)>;

// The backend that serves a port name: rfc2217://HOST:PORT, a path, COMn, or a /dev name.
std::unique_ptr<SerialDevice> makeDevice(const std::string& portName);

}  // namespace beamlink
