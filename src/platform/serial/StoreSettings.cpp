#include "StoreSettings.h"

#include <exception>

#include "EComPort.h"
#include "IniProfile.h"

namespace beamlink {

void storeSettingsToIni(const PortSettings& settings, const std::string& section,
                        const std::string& path) {
    try {
        IniProfile ini(path);
        auto write = [&](const char* key, std::string_view value) {
            ini.WriteString(section, key, std::string(value));
        };
        write("Port", settings.Port);
        write("BaudRate", toText(settings.BaudRate));
        if (settings.BaudRate == TBaudRate::brCustom) {
            write("CustomBaudRate", std::to_string(settings.CustomBaudRate));
        }
        write("StopBits", toText(settings.StopBits));
        write("DataBits", toText(settings.DataBits));
        write("Parity", toText(settings.Parity.Bits));
        write("FlowControl", toText(settings.FlowControl.summary()));
        ini.Commit();
    } catch (const std::exception&) {
        // The user sees one fixed message; the cause is not part of it.
        throw EComPort(ComError::StoreFailed);
    }
}

}  // namespace beamlink
