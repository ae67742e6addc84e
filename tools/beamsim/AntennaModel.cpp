#include "AntennaModel.h"

#include <algorithm>

namespace beamlink::sim {

namespace {
constexpr unsigned kNegativeElevation = 36000;
}

long double azimuthOfWord(unsigned word) {
    return static_cast<long double>(word) / 100;
}

long double elevationOfWord(unsigned word) {
    if (word >= kNegativeElevation) {
        return -static_cast<long double>(word - kNegativeElevation) / 100;
    }
    return static_cast<long double>(word) / 100;
}

void AntennaModel::apply(const ReceivedRecord& record, double nowSec) {
    settle(nowSec);
    switch (record.kind()) {
        case RecordKind::StartControl:
            started_ = true;
            [[fallthrough]];
        case RecordKind::Position:
            // After time records, code 67 with status 0 is the acknowledged time record: its
            // words are the time, not a position.
            if (awaitingAck_ && record.f4 == 0) {
                awaitingAck_ = false;
                break;
            }
            awaitingAck_ = false;
            targetAz_ = azimuthOfWord(record.f2);
            targetEl_ = elevationOfWord(record.f3);
            break;
        case RecordKind::StopControl:
            started_ = false;
            break;
        case RecordKind::Time:
            ack_ = static_cast<int>(record.f4);
            awaitingAck_ = true;
            break;
        case RecordKind::Unknown:
            break;
    }
}

long double AntennaModel::along(long double from, long double to, double nowSec) const {
    if (!started_ || nowSec <= refTime_) {
        return from;
    }
    long double reach = static_cast<long double>(slew_) * (nowSec - refTime_);
    return from < to ? std::min(to, from + reach) : std::max(to, from - reach);
}

long double AntennaModel::az(double nowSec) const {
    return along(refAz_, targetAz_, nowSec);
}
long double AntennaModel::el(double nowSec) const {
    return along(refEl_, targetEl_, nowSec);
}

void AntennaModel::settle(double nowSec) {
    refAz_ = az(nowSec);
    refEl_ = el(nowSec);
    refTime_ = std::max(refTime_, nowSec);
}

}  // namespace beamlink::sim
