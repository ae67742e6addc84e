#include "SettingsFile.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

#include "EComPort.h"

namespace beamlink {

std::string settingsFilePath() {
    std::vector<char> buffer(4096);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            // Without a current directory there is nowhere to store: the store fails as a whole.
            throw EComPort(ComError::StoreFailed);
        }
        buffer.resize(buffer.size() * 2);
    }
    return std::string(buffer.data()) + "/" + kSettingsFileName;
}

}  // namespace beamlink
