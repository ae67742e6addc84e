#pragma once
// Acts on a modal window from inside its own event loop: once a visible top-level widget of
// type T shows up, `action` runs on it once. Polls every 10 ms and gives up after `timeoutMs`,
// so a test never waits for ever; a different modal still up then is closed.

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace beamlink::testing {

template <typename T>
class OnModal {
public:
    explicit OnModal(std::function<void(T*)> action, int timeoutMs = 5000)
        : action_(std::move(action)), triesLeft_(timeoutMs / 10) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { poll(); });
        timer_.start();
    }
    OnModal(const OnModal&) = delete;
    OnModal& operator=(const OnModal&) = delete;

    bool ran() const { return ran_; }

private:
    void poll() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* found = qobject_cast<T*>(w); found && found->isVisible()) {
                timer_.stop();
                ran_ = true;
                action_(found);
                return;
            }
        }
        if (--triesLeft_ <= 0) {
            timer_.stop();
            // Whatever modal is up instead is closed, so the test fails rather than hangs.
            if (QWidget* modal = QApplication::activeModalWidget()) {
                modal->close();
            }
        }
    }

    std::function<void(T*)> action_;
    QTimer timer_;
    int triesLeft_;
    bool ran_ = false;
};

}  // namespace beamlink::testing
