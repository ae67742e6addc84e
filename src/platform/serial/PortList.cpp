#include "PortList.h"

#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>

namespace beamlink {

namespace {

std::optional<std::string> resolved(const std::string& path) {
    char buffer[PATH_MAX];
    if (::realpath(path.c_str(), buffer) == nullptr) {
        return std::nullopt;
    }
    return std::string(buffer);
}

std::string baseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

// The 8250 driver registers every legacy port whether a UART answers or not; its `type`
// attribute is 0 (PORT_UNKNOWN) when none does.
bool knownUart(const std::string& entry) {
    std::ifstream in(entry + "/type");
    int type = 0;
    return static_cast<bool>(in >> type) && type != 0;
}

// Newer kernels put serial-base port and controller devices between the tty and the device
// that the UART's driver is bound to, so look past those.
bool driverIsSerial8250(std::string device) {
    for (int level = 0; level < 3 && !device.empty(); ++level) {
        const auto subsystem = resolved(device + "/subsystem");
        if (!subsystem || baseName(*subsystem) != "serial-base") {
            const auto driver = resolved(device + "/driver");
            return driver && baseName(*driver) == "serial8250";
        }
        device.erase(device.rfind('/'));
    }
    return false;
}

bool hasHardware(const std::string& entry) {
    const auto device = resolved(entry + "/device");
    if (!device || device->find("/virtual/") != std::string::npos) {
        return false;
    }
    return !driverIsSerial8250(*device) || knownUart(entry);
}

// ttySn is COM(n+1); only the plain spelling of n maps back to the same device.
std::string listedName(const std::string& name) {
    const std::string prefix = "ttyS";
    const std::string digits = name.substr(std::min(prefix.size(), name.size()));
    const bool plainNumber = name.starts_with(prefix) && !digits.empty() && digits.size() <= 9 &&
                             std::all_of(digits.begin(), digits.end(),
                                         [](unsigned char c) { return std::isdigit(c) != 0; }) &&
                             (digits == "0" || digits.front() != '0');
    if (!plainNumber) {
        return name;
    }
    return "COM" + std::to_string(std::stol(digits) + 1);
}

bool lessNoCase(const std::string& a, const std::string& b) {
    auto lower = [](unsigned char c) { return std::tolower(c); };
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(), [&](char x, char y) {
            return lower(static_cast<unsigned char>(x)) < lower(static_cast<unsigned char>(y));
        });
}

}  // namespace

std::vector<std::string> listSerialPorts(const std::string& sysClassTty) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(sysClassTty.c_str()), ::closedir);
    if (!dir) {
        return {};
    }
    std::vector<std::string> ports;
    errno = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && hasHardware(sysClassTty + "/" + name)) {
            ports.push_back(listedName(name));
        }
        errno = 0;
    }
    if (errno != 0) {
        return {};
    }
    // Ties broken by plain order so the list never depends on the directory's order.
    std::sort(ports.begin(), ports.end(), [](const std::string& a, const std::string& b) {
        return lessNoCase(a, b) || (!lessNoCase(b, a) && a < b);
    });
    return ports;
}

}  // namespace beamlink
