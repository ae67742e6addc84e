#include "EComPort.h"

#include "Translate.h"

namespace beamlink {

namespace {

const char* englishText(ComError code) {
    switch (code) {
        case ComError::OpenFailed:
            return "Unable to open com port";
        case ComError::WriteFailed:
            return "WriteFile function failed";
        case ComError::SetupCommFailed:
            return "SetupComm function failed";
        case ComError::SetStateFailed:
            return "SetCommState function failed";
        case ComError::SetTimeoutsFailed:
            return "SetCommTimeouts failed";
        case ComError::PurgeFailed:
            return "PurgeComm function failed";
        case ComError::ClearCommFailed:
            return "ClearCommError function failed";
        case ComError::ModemStatusFailed:
            return "GetCommModemStatus function failed";
        case ComError::StoreFailed:
            return "Failed to store settings";
    }
    return "Unknown error";
}

std::string fullMessage(ComError code, int winCode) {
    std::string text = comErrorText(code);
    if (winCode >= 0) {
        // The suffix wording stays as users know it from the other platform.
        text += " (win error code: " + std::to_string(winCode) + ")";
    }
    return text;
}

}  // namespace

std::string comErrorText(ComError code) {
    return cportText(englishText(code));
}

EComPort::EComPort(ComError code, int winCode)
    : std::runtime_error(fullMessage(code, winCode)), code_(code), winCode_(winCode) {}

}  // namespace beamlink
