#include "PortDefaults.h"

#include "ComDataPacket.h"

namespace beamlink {

PortSettings defaultPortSettings() {
    PortSettings s;
    s.Port = "COM1";
    s.BaudRate = TBaudRate::br9600;
    s.CustomBaudRate = 9600;
    s.DataBits = TDataBits::dbEight;
    s.StopBits = TStopBits::sbOneStopBit;
    s.Parity = TComParity{};
    s.FlowControl = TComFlowControl{};
    s.InputBufferSize = 1024;
    s.OutputBufferSize = 1024;
    return s;
}

void initFraming(TComDataPacket& packet) {
    packet.setSize(24);
}

void prepareFraming(TComDataPacket& packet) {
    packet.setStartString("A ");
    packet.setStopString("\r");
}

}  // namespace beamlink
