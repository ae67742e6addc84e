#include "ComPort.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <iostream>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "ComDataPacket.h"
#include "EComPort.h"

namespace beamlink {

namespace {

QEvent::Type batchEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

// Tells the main thread that a batch waits in the mailbox of one opening of the port.
class BatchEvent : public QEvent {
public:
    explicit BatchEvent(std::uint64_t opening) : QEvent(batchEventType()), opening_(opening) {}
    std::uint64_t opening() const { return opening_; }

private:
    std::uint64_t opening_;
};

void printEventError(const std::exception& error) {
    std::cerr << "beamlink: " << error.what() << std::endl;
}

}  // namespace

struct TComPort::Impl {
    // Lives in the thread that created the port, so posted batches are handled there.
    class Receiver : public QObject {
    public:
        explicit Receiver(Impl& impl) : impl_(impl) {}
        bool event(QEvent* e) override {
            if (auto* batch = dynamic_cast<BatchEvent*>(e)) {
                impl_.onBatchPosted(batch->opening());
                return true;
            }
            return QObject::event(e);
        }

    private:
        Impl& impl_;
    };

    Impl(TComPort& owner, DeviceFactory deviceFactory)
        : port(owner), factory(std::move(deviceFactory)) {}

    void watch(SerialDevice* dev, std::uint64_t opening);
    void onBatchPosted(std::uint64_t opening);
    void runBatch(const LineEvents& events);
    void deliverChunk(const std::string& chunk);
    template <typename F>
    void guarded(F&& step);
    void report(const std::exception& error);
    void stopWatcher(bool runHandedOver);
    void shutDownQuietly() noexcept;

    TComPort& port;
    DeviceFactory factory;
    PortSettings settings;
    std::vector<TComDataPacket*> packets;

    std::unique_ptr<SerialDevice> device;
    bool connected = false;
    bool closing = false;
    std::thread watcher;
    Receiver receiver{*this};

    // The mailbox: at most one batch between the watcher and the main thread.
    std::mutex mutex;
    std::condition_variable handedBack;
    std::optional<LineEvents> mailbox;
    bool handling = false;  // the main thread has taken the batch and runs it
    bool stopping = false;
    std::uint64_t opening = 0;  // events posted for an earlier opening are dropped
};

void TComPort::Impl::watch(SerialDevice* dev, std::uint64_t myOpening) {
    try {
        for (;;) {
            LineEvents events = dev->waitForEvents();
            if (!events.any()) {
                return;  // cancelled
            }
            {
                std::unique_lock lock(mutex);
                if (stopping) {
                    return;
                }
                mailbox = events;
                QCoreApplication::postEvent(&receiver, new BatchEvent(myOpening));
                // Waking on `stopping` too lets Close() run the batch itself, and keeps a
                // Close() made from inside a handler from waiting on its own batch.
                handedBack.wait(lock, [&] { return (!mailbox && !handling) || stopping; });
                if (stopping) {
                    return;
                }
            }
            if (events.gone) {
                return;  // nothing more will come; the port stays open until closed
            }
        }
    } catch (...) {
        // A device that cannot wait any more delivers nothing further; Close() still works.
    }
}

void TComPort::Impl::onBatchPosted(std::uint64_t postedFor) {
    LineEvents events;
    {
        std::lock_guard lock(mutex);
        if (postedFor != opening || !mailbox) {
            return;  // already run by Close(), or left from an earlier opening
        }
        events = *mailbox;
        mailbox.reset();
        handling = true;
    }
    runBatch(events);
    {
        std::lock_guard lock(mutex);
        handling = false;
    }
    handedBack.notify_all();
}

void TComPort::Impl::runBatch(const LineEvents& events) {
    // Each step stands on its own: a bad report must not cost the CTS event of its batch,
    // or the beam unit would wait for an answer that never comes.
    if (events.rxChar) {
        guarded([&] {
            if (connected && device) {
                std::string chunk = device->readQueued();
                if (!chunk.empty()) {
                    deliverChunk(chunk);
                }
            }
        });
    }
    if (events.cts) {
        guarded([&] {
            if (connected && device) {
                bool level = device->ctsLevel();
                if (port.OnCTSChange) {
                    port.OnCTSChange(level);
                }
            }
        });
    }
}

void TComPort::Impl::deliverChunk(const std::string& chunk) {
    // A handler may detach packets; only those still attached get the chunk.
    auto targets = packets;
    for (TComDataPacket* packet : targets) {
        if (std::find(packets.begin(), packets.end(), packet) != packets.end()) {
            guarded([&] { packet->HandleData(chunk); });
        }
    }
}

template <typename F>
void TComPort::Impl::guarded(F&& step) {
    try {
        step();
    } catch (const std::exception& error) {
        report(error);
    } catch (...) {
        report(std::runtime_error("unknown error"));
    }
}

void TComPort::Impl::report(const std::exception& error) {
    try {
        if (port.OnEventError) {
            port.OnEventError(error);
        }
    } catch (...) {
        // Nothing may escape into the event loop.
    }
}

void TComPort::Impl::stopWatcher(bool runHandedOver) {
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    handedBack.notify_all();
    device->cancelWait();

    std::optional<LineEvents> handedOver;
    {
        std::lock_guard lock(mutex);
        handedOver.swap(mailbox);
        ++opening;
    }
    if (runHandedOver && handedOver) {
        runBatch(*handedOver);
    }
    if (watcher.joinable()) {
        watcher.join();
    }
    QCoreApplication::removePostedEvents(&receiver, batchEventType());
}

void TComPort::Impl::shutDownQuietly() noexcept {
    if (!connected) {
        return;
    }
    try {
        device->purge();
    } catch (...) {
    }
    stopWatcher(false);
    device->close();
    device.reset();
    connected = false;
}

TComPort::TComPort() : TComPort(makeDevice) {}

TComPort::TComPort(DeviceFactory factory)
    : OnEventError(printEventError), d_(std::make_unique<Impl>(*this, std::move(factory))) {}

TComPort::~TComPort() {
    d_->shutDownQuietly();
}

const PortSettings& TComPort::settings() const {
    return d_->settings;
}
void TComPort::setSettings(const PortSettings& settings) {
    d_->settings = settings;
}
const std::string& TComPort::Port() const {
    return d_->settings.Port;
}
void TComPort::setPort(const std::string& port) {
    d_->settings.Port = port;
}
bool TComPort::Connected() const {
    return d_->connected;
}

void TComPort::Open() {
    if (d_->connected) {
        return;
    }
    std::unique_ptr<SerialDevice> device = d_->factory(d_->settings.Port);
    if (!device) {
        throw EComPort(ComError::OpenFailed, ENODEV);
    }
    device->open(d_->settings);
    // Stale bytes from before the last close must not glue onto the next report.
    for (TComDataPacket* packet : d_->packets) {
        packet->ResetBuffer();
    }
    {
        std::lock_guard lock(d_->mutex);
        d_->mailbox.reset();
        d_->handling = false;
        d_->stopping = false;
        ++d_->opening;
    }
    try {
        d_->watcher = std::thread(&Impl::watch, d_.get(), device.get(), d_->opening);
    } catch (...) {
        device->close();
        throw;
    }
    d_->device = std::move(device);
    d_->connected = true;

    if (OnCTSChange) {
        OnCTSChange(d_->device->ctsLevel());
    }
}

void TComPort::Close() {
    if (!d_->connected || d_->closing) {
        return;
    }
    d_->closing = true;
    struct ClosingFlag {
        bool& flag;
        ~ClosingFlag() { flag = false; }
    } closingFlag{d_->closing};

    if (OnCTSChange) {
        OnCTSChange(false);
    }
    d_->device->purge();
    d_->stopWatcher(true);
    d_->device->close();
    d_->device.reset();
    d_->connected = false;
}

void TComPort::WriteStr(const std::string& text) {
    if (!d_->connected || !d_->device) {
        throw EComPort(ComError::WriteFailed, EBADF);
    }
    d_->device->write(text);
}

void TComPort::attachPacket(TComDataPacket* packet) {
    if (packet && std::find(d_->packets.begin(), d_->packets.end(), packet) == d_->packets.end()) {
        d_->packets.push_back(packet);
    }
}

void TComPort::detachPacket(TComDataPacket* packet) {
    d_->packets.erase(std::remove(d_->packets.begin(), d_->packets.end(), packet),
                      d_->packets.end());
}

}  // namespace beamlink
