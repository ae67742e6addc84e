#include "ComDataPacket.h"

#include <exception>

namespace beamlink {

void TComDataPacket::setStartString(const std::string& s) {
    if (s != start_) {
        start_ = s;
        ResetBuffer();
    }
}

void TComDataPacket::setStopString(const std::string& s) {
    if (s != stop_) {
        stop_ = s;
        ResetBuffer();
    }
}

void TComDataPacket::setSize(std::size_t size) {
    if (size != size_) {
        size_ = size;
        ResetBuffer();
    }
}

void TComDataPacket::ResetBuffer() {
    buffer_.clear();
    open_ = false;
}

void TComDataPacket::HandleData(std::string_view chunk) {
    buffer_.append(chunk);
    // A handler that throws on one packet must not hold back the packets after it in the
    // same chunk: they are all delivered, then the first error goes on to the caller.
    std::exception_ptr firstError;
    for (;;) {
        try {
            if (!takePacket()) {
                break;
            }
        } catch (...) {
            if (!firstError) {
                firstError = std::current_exception();
            }
        }
    }
    // Bounds text that never holds a start string.
    if (buffer_.size() >= MaxBufferSize) {
        ResetBuffer();
    }
    if (firstError) {
        std::rethrow_exception(firstError);
    }
}

bool TComDataPacket::takePacket() {
    if (!open_) {
        auto at = buffer_.find(start_);
        if (at == std::string::npos) {
            // Kept whole, so a start string split between two chunks is found later.
            return false;
        }
        buffer_.erase(0, at);
        open_ = true;
    }

    // The packet ends at the first stop string after the start string; the size limit only
    // applies when no stop string comes within it.
    std::size_t length = 0;
    bool endsWithStop = false;
    if (!stop_.empty()) {
        auto stopAt = buffer_.find(stop_, start_.size());
        if (stopAt != std::string::npos && (size_ == 0 || stopAt + stop_.size() <= size_)) {
            length = stopAt + stop_.size();
            endsWithStop = true;
        }
    }
    if (!endsWithStop) {
        if (size_ > 0 && buffer_.size() >= size_) {
            length = size_;
        } else if (size_ == 0 && stop_.empty() && buffer_.size() > start_.size()) {
            length = buffer_.size();
        } else {
            return false;
        }
    }

    std::string text =
        buffer_.substr(start_.size(), length - start_.size() - (endsWithStop ? stop_.size() : 0));
    buffer_.erase(0, length);
    open_ = false;
    if (OnPacket) {
        OnPacket(text);
    }
    return true;
}

}  // namespace beamlink
