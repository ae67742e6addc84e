#include "PortSettings.h"

#include <algorithm>

namespace beamlink {

namespace {

template <typename Enum, std::size_t N>
std::optional<Enum> fromText(const std::array<std::string_view, N>& texts, std::string_view text) {
    auto it = std::find(texts.begin(), texts.end(), text);
    if (it == texts.end()) {
        return std::nullopt;
    }
    return static_cast<Enum>(it - texts.begin());
}

constexpr std::array<int, 16> kRates = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                                        14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};

}  // namespace

TFlowControl TComFlowControl::summary() const {
    using R = TRTSFlowControl;
    if (ControlRTS == R::rtsHandshake && OutCTSFlow && !XonXoffIn && !XonXoffOut) {
        return TFlowControl::fcHardware;
    }
    if (ControlRTS == R::rtsDisable && !OutCTSFlow) {
        if (XonXoffIn && XonXoffOut) {
            return TFlowControl::fcSoftware;
        }
        if (!XonXoffIn && !XonXoffOut) {
            return TFlowControl::fcNone;
        }
    }
    return TFlowControl::fcCustom;
}

void TComFlowControl::apply(TFlowControl kind) {
    switch (kind) {
        case TFlowControl::fcHardware:
            ControlRTS = TRTSFlowControl::rtsHandshake;
            OutCTSFlow = true;
            XonXoffIn = XonXoffOut = false;
            break;
        case TFlowControl::fcSoftware:
            ControlRTS = TRTSFlowControl::rtsDisable;
            OutCTSFlow = false;
            XonXoffIn = XonXoffOut = true;
            break;
        case TFlowControl::fcNone:
            ControlRTS = TRTSFlowControl::rtsDisable;
            OutCTSFlow = false;
            XonXoffIn = XonXoffOut = false;
            break;
        case TFlowControl::fcCustom:
            break;
    }
}

int PortSettings::lineRate() const {
    return BaudRate == TBaudRate::brCustom ? CustomBaudRate
                                           : kRates[static_cast<std::size_t>(BaudRate)];
}

std::string_view toText(TBaudRate v) {
    return kBaudRateTexts[static_cast<std::size_t>(v)];
}
std::string_view toText(TDataBits v) {
    return kDataBitsTexts[static_cast<std::size_t>(v)];
}
std::string_view toText(TStopBits v) {
    return kStopBitsTexts[static_cast<std::size_t>(v)];
}
std::string_view toText(TParityBits v) {
    return kParityTexts[static_cast<std::size_t>(v)];
}
std::string_view toText(TFlowControl v) {
    return kFlowControlTexts[static_cast<std::size_t>(v)];
}

std::optional<TBaudRate> baudRateFromText(std::string_view t) {
    return fromText<TBaudRate>(kBaudRateTexts, t);
}
std::optional<TDataBits> dataBitsFromText(std::string_view t) {
    return fromText<TDataBits>(kDataBitsTexts, t);
}
std::optional<TStopBits> stopBitsFromText(std::string_view t) {
    return fromText<TStopBits>(kStopBitsTexts, t);
}
std::optional<TParityBits> parityFromText(std::string_view t) {
    return fromText<TParityBits>(kParityTexts, t);
}
std::optional<TFlowControl> flowControlFromText(std::string_view t) {
    return fromText<TFlowControl>(kFlowControlTexts, t);
}

}  // namespace beamlink
