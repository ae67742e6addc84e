#pragma once
// The CTS-paced transmit cycle: for each CTS change found on while the link is active, the
// due start-control and stop-control records, then the position or time record.

#include <cstdint>
#include <functional>
#include <string>

#include "LinkState.h"

namespace beamlink {

// Hands one record to the serial line; throws when the write fails.
using RecordWriter = std::function<void(const std::string& record)>;
// Replaces the code, both words and StatusByte with the time fields.
using TimeFieldEncoder =
    std::function<void(LinkState& state, std::uint8_t& code, std::uint16_t& field2,
                       std::uint16_t& field3, std::uint8_t& status)>;

// A write that throws ends the cycle where it stands; the error propagates.
void runTransmitCycle(LinkState& state, bool OnOff, const RecordWriter& write,
                      const TimeFieldEncoder& encodeTime);

}  // namespace beamlink
