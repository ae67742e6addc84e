#include "AntennaReport.h"

#include <string_view>

#include "FloatText.h"

namespace beamlink {

namespace {

constexpr std::size_t kReportBufferSize = 20;
constexpr int kLabelWidth = 5;
constexpr int kLabelPrecision = 1;

// The text before the first space; the rest loses it and the space. Without a space the
// field is empty and the rest stays as it is.
std::string_view takeField(std::string_view& rest) {
    auto space = rest.find(' ');
    if (space == std::string_view::npos) {
        return {};
    }
    std::string_view field = rest.substr(0, space);
    rest.remove_prefix(space + 1);
    return field;
}

}  // namespace

AntennaLabels handleAntennaReport(LinkState& state, const std::string& Str, char decimalSeparator) {
    std::string_view rest = std::string_view(Str).substr(0, kReportBufferSize);
    std::string_view azimuth = takeField(rest);
    std::string_view elevation = takeField(rest);
    // The whole acknowledgement field, so a unit that echoes a two-digit year is understood.
    std::string_view ack = rest.substr(0, rest.find(' '));

    // The beam unit writes '.', whatever the PC's regional settings say.
    const char separators[] = {'.', decimalSeparator};
    const std::string_view accepted(separators, sizeof separators);

    state.AntennaAz = StrToFloat(azimuth, accepted);
    state.AntennaEl = StrToFloat(elevation, accepted);
    state.AckValue = StrToInt(ack);

    return {FormatFixed(state.AntennaAz, kLabelWidth, kLabelPrecision, decimalSeparator),
            FormatFixed(state.AntennaEl, kLabelWidth, kLabelPrecision, decimalSeparator)};
}

}  // namespace beamlink
