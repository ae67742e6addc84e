#pragma once
// The serial ports that have hardware behind them, found under sysfs without opening a device.

#include <string>
#include <vector>

namespace beamlink {

// ttySn ports are listed as COM(n+1), others by their /dev name; sorted as text without regard
// to case; empty when nothing can be listed.
std::vector<std::string> listSerialPorts(const std::string& sysClassTty = "/sys/class/tty");

}  // namespace beamlink
