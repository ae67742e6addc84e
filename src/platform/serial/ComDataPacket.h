#pragma once
// Cuts packets out of the received byte stream: a packet opens at StartString and ends at the
// first StopString, or at Size characters when no StopString comes within them.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace beamlink {

class TComDataPacket {
public:
    using PacketHandler = std::function<void(const std::string& Str)>;

    // A port it is attached to (TComPort::attachPacket) hands it every received chunk and
    // calls ResetBuffer when it opens.
    TComDataPacket() = default;
    TComDataPacket(const TComDataPacket&) = delete;
    TComDataPacket& operator=(const TComDataPacket&) = delete;

    // Setting a value different from the current one empties the buffer.
    void setStartString(const std::string& s);
    void setStopString(const std::string& s);
    void setSize(std::size_t size);
    const std::string& startString() const { return start_; }
    const std::string& stopString() const { return stop_; }
    std::size_t size() const { return size_; }

    void HandleData(std::string_view chunk);
    void ResetBuffer();
    const std::string& buffer() const { return buffer_; }

    PacketHandler OnPacket;

    static constexpr std::size_t MaxBufferSize = 1024;

private:
    // Takes one packet off the buffer and delivers it; false when none can be taken.
    bool takePacket();

    std::string start_;
    std::string stop_;
    std::size_t size_ = 0;
    std::string buffer_;
    bool open_ = false;
};

}  // namespace beamlink
