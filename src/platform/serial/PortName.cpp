#include "PortName.h"

#include <cctype>
#include <charconv>

namespace beamlink {

namespace {

constexpr std::string_view kNetworkScheme = "rfc2217://";

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) {
            return false;
        }
    }
    return true;
}

// n of "COMn" (any case, n >= 1), or 0.
unsigned comNumber(std::string_view name) {
    if (!startsWithNoCase(name, "com") || name.size() == 3) {
        return 0;
    }
    unsigned n = 0;
    auto digits = name.substr(3);
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
    if (ec != std::errc() || end != digits.data() + digits.size()) {
        return 0;
    }
    return n;
}

}  // namespace

std::optional<NetworkPort> networkPortOf(const std::string& portName) {
    std::string_view name = portName;
    if (!startsWithNoCase(name, kNetworkScheme)) {
        return std::nullopt;
    }
    auto rest = name.substr(kNetworkScheme.size());
    auto colon = rest.rfind(':');
    if (colon == std::string_view::npos || colon == 0) {
        return std::nullopt;
    }
    NetworkPort result;
    result.host = std::string(rest.substr(0, colon));
    if (result.host.size() > 2 && result.host.front() == '[' && result.host.back() == ']') {
        result.host = result.host.substr(1, result.host.size() - 2);
    }
    auto portText = rest.substr(colon + 1);
    auto [end, ec] =
        std::from_chars(portText.data(), portText.data() + portText.size(), result.port);
    if (ec != std::errc() || end != portText.data() + portText.size() || result.port <= 0 ||
        result.port > 65535) {
        return std::nullopt;
    }
    return result;
}

std::string devicePathOf(const std::string& portName) {
    if (unsigned n = comNumber(portName); n >= 1) {
        return "/dev/ttyS" + std::to_string(n - 1);
    }
    if (!portName.empty() && portName.front() == '/') {
        return portName;
    }
    return "/dev/" + portName;
}

}  // namespace beamlink
