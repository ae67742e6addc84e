#pragma once
// The serial component's error: a message from a fixed table, followed by
// " (win error code: N)" when a system call failed (N is that call's errno).

#include <stdexcept>
#include <string>

namespace beamlink {

enum class ComError {
    OpenFailed,         // "Unable to open com port"
    WriteFailed,        // "WriteFile function failed"
    SetupCommFailed,    // "SetupComm function failed"
    SetStateFailed,     // "SetCommState function failed"
    SetTimeoutsFailed,  // "SetCommTimeouts failed"
    PurgeFailed,        // "PurgeComm function failed"
    ClearCommFailed,    // "ClearCommError function failed"
    ModemStatusFailed,  // "GetCommModemStatus function failed"
    StoreFailed,        // "Failed to store settings"
};

// The English text, passed through the "cport" translation domain.
std::string comErrorText(ComError code);

class EComPort : public std::runtime_error {
public:
    // winCode < 0: no system call behind the error, so no suffix.
    explicit EComPort(ComError code, int winCode = -1);
    ComError Code() const { return code_; }
    int WinCode() const { return winCode_; }

private:
    ComError code_;
    int winCode_;
};

}  // namespace beamlink
