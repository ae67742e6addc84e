#pragma once
// The serial port component: stored settings, open/close, writes, and line events handed from
// its watcher thread to the main thread one batch at a time.
//
// The hand-over is a mailbox, not a queue: the watcher posts a batch and blocks until the main
// thread has handled it. Handling a batch reads every queued byte as one chunk, frames it
// through the attached packets, and then, if the batch holds a CTS change, reads the CTS level
// and calls OnCTSChange. Create, use and destroy a TComPort on the thread that runs the Qt
// event loop.

#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "PortSettings.h"
#include "SerialDevice.h"

namespace beamlink {

class TComDataPacket;

class TComPort {
public:
    using CTSChangeHandler = std::function<void(bool OnOff)>;
    using ErrorHandler = std::function<void(const std::exception& error)>;

    TComPort();
    explicit TComPort(DeviceFactory factory);
    // Closes an open port without calling any handler (the packets and the owner's handlers
    // may already be gone) and without reporting errors.
    ~TComPort();
    TComPort(const TComPort&) = delete;
    TComPort& operator=(const TComPort&) = delete;

    const PortSettings& settings() const;
    // One update of all settings; they reach the device at the next opening.
    void setSettings(const PortSettings& settings);
    const std::string& Port() const;
    void setPort(const std::string& port);

    // Does nothing when open. Otherwise opens the device, discards the attached packets'
    // buffers, starts event delivery and, as its last step, reports the CTS level to
    // OnCTSChange in the calling thread; an error thrown there propagates out of Open().
    // Throws EComPort when the device cannot be opened or set up; the port is then closed.
    void Open();
    // Does nothing when closed. Otherwise reports CTS off, purges, stops the watcher, runs a
    // batch already handed over (port still open), and closes the device.
    void Close();
    bool Connected() const;

    // Throws EComPort(WriteFailed) when the port is closed (errno EBADF) or the write fails.
    void WriteStr(const std::string& text);

    CTSChangeHandler OnCTSChange;
    // Called with an error thrown while a batch is handled; by default one line on stderr.
    ErrorHandler OnEventError;

    // Attached packets get every received chunk and are emptied at each opening.
    void attachPacket(TComDataPacket* packet);
    void detachPacket(TComDataPacket* packet);

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace beamlink
