#pragma once
// UTC from the local clock and the zone, packed into the four fields of a time record.

#include <cstdint>

#include "DateTime.h"
#include "LinkState.h"
#include "LocalTime.h"

namespace beamlink {

class TimeRecordEncoder {
public:
    TimeRecordEncoder(const LocalClock& clock, const ZoneSource& zone)
        : clock_(clock), zone_(zone) {}

    // UTC = local + Bias minutes (+ DaylightBias when the zone is in daylight time), each step
    // extended with 1440 as a single-precision constant and stored as a double.
    double ComputeUtcNow() const;
    // Sets state.UtcNow and fills the fields: second + 192, minute * 256 + hour,
    // day * 256 + month, and the year byte.
    void EncodeTimeFields(LinkState& state, std::uint8_t& code, std::uint16_t& field2,
                          std::uint16_t& field3, std::uint8_t& status);
    // The parts of the last time record, millisecond included.
    const DateTimeParts& lastDecoded() const { return decoded_; }

private:
    const LocalClock& clock_;
    const ZoneSource& zone_;
    DateTimeParts decoded_;
};

}  // namespace beamlink
