#include "SettingsFile.h"

#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <vector>

namespace beamlink {

std::string settingsFilePath() {
    std::vector<char> buffer(4096);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            throw std::system_error(errno, std::generic_category(), "getcwd");
        }
        buffer.resize(buffer.size() * 2);
    }
    return std::string(buffer.data()) + "/" + kSettingsFileName;
}

}  // namespace beamlink
