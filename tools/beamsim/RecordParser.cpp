#include "RecordParser.h"

#include <array>

namespace beamlink::sim {

namespace {

constexpr std::size_t kKeptRejected = 16;

// One field: digits without a leading zero, at most max, then exactly one space.
bool takeField(std::string_view& rest, unsigned max, unsigned& value) {
    std::size_t digits = 0;
    unsigned long v = 0;
    while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') {
        v = v * 10 + static_cast<unsigned>(rest[digits] - '0');
        if (v > max) {
            return false;
        }
        ++digits;
    }
    if (digits == 0 || (digits > 1 && rest[0] == '0')) {
        return false;
    }
    if (digits >= rest.size() || rest[digits] != ' ') {
        return false;
    }
    value = static_cast<unsigned>(v);
    rest.remove_prefix(digits + 1);
    return true;
}

}  // namespace

RecordKind ReceivedRecord::kind() const {
    if (f1 == 67) {
        return RecordKind::Position;
    }
    if (f1 == 68 && f4 == 68) {
        return RecordKind::StartControl;
    }
    if (f1 == 69 && f4 == 69) {
        return RecordKind::StopControl;
    }
    if (f1 >= 192 && f1 <= 251) {
        return RecordKind::Time;
    }
    return RecordKind::Unknown;
}

std::string describe(const ReceivedRecord& r) {
    static constexpr std::array<const char*, 5> kNames = {"position", "start-control",
                                                          "stop-control", "time", "unknown"};
    return std::to_string(r.f1) + " " + std::to_string(r.f2) + " " + std::to_string(r.f3) + " " +
           std::to_string(r.f4) + " (" + kNames[static_cast<std::size_t>(r.kind())] + ")";
}

bool parseRecord(std::string_view line, ReceivedRecord& record) {
    ReceivedRecord r;
    if (!takeField(line, 255, r.f1) || !takeField(line, 65535, r.f2) ||
        !takeField(line, 65535, r.f3) || !takeField(line, 255, r.f4) || !line.empty()) {
        return false;
    }
    record = r;
    return true;
}

void RecordParser::feed(std::string_view bytes, std::vector<ReceivedRecord>& out) {
    for (char c : bytes) {
        if (c == '\r') {
            endLine(out);
        } else if (line_.size() < kMaxLine) {
            line_.push_back(c);
        } else {
            overlong_ = true;
        }
    }
}

void RecordParser::endLine(std::vector<ReceivedRecord>& out) {
    ReceivedRecord record;
    if (!overlong_ && parseRecord(line_, record)) {
        out.push_back(record);
    } else {
        reject(line_ + '\r');
    }
    line_.clear();
    overlong_ = false;
}

void RecordParser::reject(std::string text) {
    ++rejectedCount_;
    if (rejected_.size() == kKeptRejected) {
        rejected_.erase(rejected_.begin());
    }
    rejected_.push_back(std::move(text));
}

}  // namespace beamlink::sim
