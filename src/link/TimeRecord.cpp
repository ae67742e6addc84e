#include "TimeRecord.h"

namespace beamlink {

namespace {

// Single-precision constant; the step itself is carried in extended precision.
constexpr float kMinutesPerDay = 1440.0f;

double addMinutes(double dateTime, std::int32_t minutes) {
    const long double perDay = kMinutesPerDay;
    return static_cast<double>((static_cast<long double>(dateTime) * perDay + minutes) / perDay);
}

}  // namespace

double TimeRecordEncoder::ComputeUtcNow() const {
    const ZoneInfo zone = zone_.TimeZoneInformation();
    double utc = addMinutes(clock_.Now(), zone.Bias);
    // Any other result, failure included, counts as standard time.
    if (zone.ResultCode == ZoneInfo::kDaylight) {
        utc = addMinutes(utc, zone.DaylightBias);
    }
    return utc;
}

void TimeRecordEncoder::EncodeTimeFields(LinkState& state, std::uint8_t& code,
                                         std::uint16_t& field2, std::uint16_t& field3,
                                         std::uint8_t& status) {
    state.UtcNow = ComputeUtcNow();
    decoded_ = DecodeDateTime(state.UtcNow);
    code = static_cast<std::uint8_t>(decoded_.Second + 192u);
    field2 = static_cast<std::uint16_t>(decoded_.Minute * 256u + decoded_.Hour);
    field3 = static_cast<std::uint16_t>(decoded_.Day * 256u + decoded_.Month);
    // Unsigned wrap-around: year - 2000 for 2000..2255, modulo 256 otherwise.
    status = static_cast<std::uint8_t>((decoded_.Year & 0xFFu) - 208u);
}

}  // namespace beamlink
