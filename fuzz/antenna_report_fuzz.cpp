// Received bytes through the framing into the report handler: anything a line can carry must
// end in stored values or a conversion error, never in a crash or another exception.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "AntennaReport.h"
#include "ComDataPacket.h"
#include "FloatText.h"

namespace {

void checkLabels(const beamlink::AntennaLabels& labels) {
    if (labels.azimuth.size() < 5 || labels.elevation.size() < 5) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte picks the user's separator and how the rest is cut into chunks.
    const char separator = (data[0] & 1) != 0 ? ',' : '.';
    const std::size_t chunk = 1 + (data[0] >> 1);
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);

    beamlink::LinkState state;
    try {
        checkLabels(beamlink::handleAntennaReport(state, std::string(bytes), separator));
    } catch (const beamlink::EConvertError&) {
    }

    beamlink::TComDataPacket framing;
    framing.setStartString("A ");
    framing.setStopString("\r");
    framing.setSize(24);
    framing.OnPacket = [&](const std::string& Str) {
        checkLabels(beamlink::handleAntennaReport(state, Str, separator));
    };
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        try {
            framing.HandleData(bytes.substr(at, chunk));
        } catch (const beamlink::EConvertError&) {
        }
        if (framing.buffer().size() >= beamlink::TComDataPacket::MaxBufferSize) {
            __builtin_trap();
        }
    }
    return 0;
}
