#include <cerrno>
#include <memory>

#include "EComPort.h"
#include "PortName.h"
#include "SerialDevice.h"
#include "TtyDevice.h"

namespace beamlink {

std::unique_ptr<SerialDevice> makeDevice(const std::string& portName) {
    if (networkPortOf(portName)) {
        throw EComPort(ComError::OpenFailed, EPROTONOSUPPORT);
    }
    return std::make_unique<TtyDevice>(devicePathOf(portName));
}

}  // namespace beamlink
