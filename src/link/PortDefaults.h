#pragma once
// The port and framing settings the main window starts with.

#include "PortSettings.h"

namespace beamlink {

class TComDataPacket;

// COM1, 9600 baud, 8 data bits, no parity, 1 stop bit, no flow control, DTR and RTS off.
PortSettings defaultPortSettings();
// Size 24, as the window's layout holds it.
void initFraming(TComDataPacket& packet);
// Start string "A ", stop string a carriage return; assigned before every opening.
void prepareFraming(TComDataPacket& packet);

}  // namespace beamlink
