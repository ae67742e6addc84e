#include <cerrno>
#include <memory>

#include "EComPort.h"
#include "PortName.h"
#include "Rfc2217Device.h"
#include "SerialDevice.h"
#include "TtyDevice.h"

namespace beamlink {

std::unique_ptr<SerialDevice> makeDevice(const std::string& portName) {
    if (auto where = networkPortOf(portName)) {
        return std::make_unique<Rfc2217Device>(*where);
    }
    return std::make_unique<TtyDevice>(devicePathOf(portName));
}

}  // namespace beamlink
