#pragma once
// Line settings held by the serial port component, with the value texts that the settings
// dialog lists and the settings file stores.

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace beamlink {

enum class TBaudRate {
    brCustom,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};
enum class TDataBits { dbFive, dbSix, dbSeven, dbEight };
enum class TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum class TParityBits { prNone, prOdd, prEven, prMark, prSpace };
enum class TDTRFlowControl { dtrDisable, dtrEnable, dtrHandshake };
enum class TRTSFlowControl { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
// The summary of the four flow settings that the dialog and the settings file show.
enum class TFlowControl { fcHardware, fcSoftware, fcNone, fcCustom };

struct TComParity {
    TParityBits Bits = TParityBits::prNone;
    bool Check = false;
    bool Replace = false;
    char ReplaceChar = 0;
    bool operator==(const TComParity&) const = default;
};

struct TComFlowControl {
    bool OutCTSFlow = false;
    bool OutDSRFlow = false;
    TDTRFlowControl ControlDTR = TDTRFlowControl::dtrDisable;
    TRTSFlowControl ControlRTS = TRTSFlowControl::rtsDisable;
    bool XonXoffOut = false;
    bool XonXoffIn = false;
    bool DSRSensitivity = false;
    char XonChar = 17;
    char XoffChar = 19;
    bool operator==(const TComFlowControl&) const = default;

    TFlowControl summary() const;
    // "Custom" changes nothing; DTR control and DSR flow are never touched.
    void apply(TFlowControl kind);
};

struct PortSettings {
    std::string Port = "COM1";
    TBaudRate BaudRate = TBaudRate::br9600;
    int CustomBaudRate = 9600;
    TDataBits DataBits = TDataBits::dbEight;
    TStopBits StopBits = TStopBits::sbOneStopBit;
    TComParity Parity;
    TComFlowControl FlowControl;
    int InputBufferSize = 1024;
    int OutputBufferSize = 1024;
    bool operator==(const PortSettings&) const = default;

    // Line rate in bits per second; "Custom" runs at CustomBaudRate.
    int lineRate() const;
};

// Value texts in list order (the dialog's items and the settings file's values).
inline constexpr std::array<std::string_view, 16> kBaudRateTexts = {
    "Custom", "110",   "300",   "600",   "1200",  "2400",   "4800",   "9600",
    "14400",  "19200", "38400", "56000", "57600", "115200", "128000", "256000"};
inline constexpr std::array<std::string_view, 4> kDataBitsTexts = {"5", "6", "7", "8"};
inline constexpr std::array<std::string_view, 3> kStopBitsTexts = {"1", "1.5", "2"};
inline constexpr std::array<std::string_view, 5> kParityTexts = {"None", "Odd", "Even", "Mark",
                                                                 "Space"};
inline constexpr std::array<std::string_view, 4> kFlowControlTexts = {"Hardware", "Software",
                                                                      "None", "Custom"};

std::string_view toText(TBaudRate v);
std::string_view toText(TDataBits v);
std::string_view toText(TStopBits v);
std::string_view toText(TParityBits v);
std::string_view toText(TFlowControl v);
std::optional<TBaudRate> baudRateFromText(std::string_view text);
std::optional<TDataBits> dataBitsFromText(std::string_view text);
std::optional<TStopBits> stopBitsFromText(std::string_view text);
std::optional<TParityBits> parityFromText(std::string_view text);
std::optional<TFlowControl> flowControlFromText(std::string_view text);

}  // namespace beamlink
