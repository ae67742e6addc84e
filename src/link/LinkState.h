#pragma once
// The one set of flags, positions and values shared by the link and the window.

#include <cstdint>

namespace beamlink {

struct LinkState {
    bool LinkActive = false;      // the transmit cycle answers CTS
    bool ControlPending = false;  // send a start-control record in the next cycle
    bool StopPending = false;     // send a stop-control record in the next cycle
    bool ControlStarted = false;  // a start-control record went out since start-up
    bool TimePending = false;     // time records replace position records until acknowledged
    bool StatusFlag16 = false;
    bool StatusFlag8 = false;
    bool StatusFlag4 = false;
    bool StatusFlag2 = false;
    std::uint8_t StatusByte = 0;  // fourth field of the record being built
    long double MoonAz = 0;
    long double MoonEl = 0;
    long double AntennaAz = 0;
    long double AntennaEl = 0;
    std::int32_t AckValue = 0;  // acknowledgement field of the last antenna report
    double UtcNow = 0;          // UTC of the last time record, days since 30 December 1899
};

}  // namespace beamlink
