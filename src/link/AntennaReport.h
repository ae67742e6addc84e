#pragma once
// Antenna reports: "<az> <el> <ack>" as framed from "A <az> <el> <ack>\r".

#include <string>

#include "LinkState.h"

namespace beamlink {

struct AntennaLabels {
    std::string azimuth;    // for Label6
    std::string elevation;  // for Label7
};

// Stores AntennaAz, AntennaEl and AckValue, each right after its own conversion, and returns
// the two label texts. Numbers are read with '.' or the user's separator. Throws
// EConvertError at the first field that does not convert; earlier values stay stored.
AntennaLabels handleAntennaReport(LinkState& state, const std::string& Str, char decimalSeparator);

}  // namespace beamlink
