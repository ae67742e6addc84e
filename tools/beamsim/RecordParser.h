#pragma once
// Reads the records a beam unit receives: four unsigned decimal fields, each followed by one
// space, then a carriage return. Strict on purpose: the simulator doubles as a check of what the
// program sends, so anything else on a line is rejected, not guessed at.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace beamlink::sim {

enum class RecordKind { Position, StartControl, StopControl, Time, Unknown };

struct ReceivedRecord {
    unsigned f1 = 0, f2 = 0, f3 = 0, f4 = 0;

    RecordKind kind() const;
    bool isPosition() const { return kind() == RecordKind::Position; }
    bool isTime() const { return kind() == RecordKind::Time; }
    bool operator==(const ReceivedRecord&) const = default;
};

// "67 4320 101 12 (position)"
std::string describe(const ReceivedRecord& record);

class RecordParser {
public:
    // A line without a carriage return is given up beyond this many bytes.
    static constexpr std::size_t kMaxLine = 64;

    // Appends the records the bytes complete; state carries over between calls.
    void feed(std::string_view bytes, std::vector<ReceivedRecord>& out);
    void reset() { *this = RecordParser(); }
    // Forgets a line in progress (a new client starts clean) but keeps the rejected lines.
    void dropPartialLine() {
        line_.clear();
        overlong_ = false;
    }

    // Lines that were not records, each up to its carriage return (the last few kept).
    std::size_t rejectedCount() const { return rejectedCount_; }
    const std::vector<std::string>& rejected() const { return rejected_; }

private:
    void endLine(std::vector<ReceivedRecord>& out);
    void reject(std::string text);

    std::string line_;
    bool overlong_ = false;
    std::size_t rejectedCount_ = 0;
    std::vector<std::string> rejected_;
};

// One line without its carriage return, or nothing when it is not a record.
bool parseRecord(std::string_view line, ReceivedRecord& record);

}  // namespace beamlink::sim
