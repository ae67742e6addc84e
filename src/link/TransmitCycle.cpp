#include "TransmitCycle.h"

#include "OutgoingRecord.h"

namespace beamlink {

namespace {

std::uint8_t statusOf(const LinkState& s) {
    return static_cast<std::uint8_t>((s.StatusFlag16 ? 16 : 0) + (s.StatusFlag8 ? 8 : 0) +
                                     (s.StatusFlag4 ? 4 : 0) + (s.StatusFlag2 ? 2 : 0));
}

}  // namespace

void runTransmitCycle(LinkState& state, bool OnOff, const RecordWriter& write,
                      const TimeFieldEncoder& encodeTime) {
    if (!OnOff || !state.LinkActive) {
        return;
    }
    std::uint16_t azWord = azimuthWord(state.MoonAz);
    std::uint16_t elWord = elevationWord(state.MoonEl);

    if (state.ControlPending) {
        state.ControlPending = false;
        write(formatRecord(kStartControlCode, azWord, elWord, kStartControlCode));
        state.ControlStarted = true;
    }
    if (state.StopPending) {
        state.StopPending = false;
        write(formatRecord(kStopControlCode, azWord, elWord, kStopControlCode));
    }

    state.StatusByte = statusOf(state);
    std::uint8_t code = kPositionCode;
    if (state.TimePending && encodeTime) {
        encodeTime(state, code, azWord, elWord, state.StatusByte);
        if (static_cast<std::int32_t>(state.StatusByte) == state.AckValue) {
            state.TimePending = false;
            state.StatusByte = 0;
            code = kPositionCode;
        }
    }
    write(formatRecord(code, azWord, elWord, state.StatusByte));
    state.StatusByte = 0;
}

}  // namespace beamlink
