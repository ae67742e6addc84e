#pragma once
// Where the port settings are stored: SerialPort.ini in the current directory.

#include <string>

namespace beamlink {

inline constexpr const char* kSettingsFileName = "SerialPort.ini";
inline constexpr const char* kSettingsSection = "ComPort1";

// getcwd() + "/" + SerialPort.ini; throws EComPort(StoreFailed) when there is no current
// directory.
std::string settingsFilePath();

}  // namespace beamlink
