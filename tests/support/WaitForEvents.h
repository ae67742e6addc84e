#pragma once
// Device tests play the watcher thread: one waitForEvents() as TComPort's watcher makes it, but
// cancelled after a timeout so a missing event fails the test instead of hanging it.

#include <time.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "SerialDevice.h"

namespace beamlink::testing {

// An empty set when nothing came in time; the device then stays cancelled.
inline LineEvents waitForEvents(SerialDevice& device,
                                std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::thread watchdog([&] {
        std::unique_lock lock(m);
        if (!cv.wait_for(lock, timeout, [&] { return done; })) {
            device.cancelWait();
        }
    });
    LineEvents events = device.waitForEvents();
    {
        std::lock_guard lock(m);
        done = true;
    }
    cv.notify_all();
    watchdog.join();
    return events;
}

// CPU time of the whole process, to show that a wait does not spin.
inline double processCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

}  // namespace beamlink::testing
