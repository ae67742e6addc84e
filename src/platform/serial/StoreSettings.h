#pragma once
// Writes a port's settings into one section of an INI file, all or nothing.

#include <string>

#include "PortSettings.h"

namespace beamlink {

// Keys in order: Port, BaudRate, CustomBaudRate (only for "Custom"), StopBits, DataBits,
// Parity, FlowControl. Throws EComPort(StoreFailed) on any failure, leaving the file as it was.
void storeSettingsToIni(const PortSettings& settings, const std::string& section,
                        const std::string& path);

}  // namespace beamlink
