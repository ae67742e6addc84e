#pragma once
// Port names on Linux: COMn -> /dev/ttyS(n-1), a leading '/' is a path, rfc2217://HOST:PORT is a
// network port, any other name lives in /dev.

#include <optional>
#include <string>

namespace beamlink {

struct NetworkPort {
    std::string host;
    int port = 0;
};

// The rfc2217:// host and port, or nothing when the name is not a network port.
std::optional<NetworkPort> networkPortOf(const std::string& portName);
// The device path for a local port name.
std::string devicePathOf(const std::string& portName);

}  // namespace beamlink
