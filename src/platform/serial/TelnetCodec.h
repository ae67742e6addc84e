#pragma once
// Telnet framing for network serial ports (RFC 854 commands, RFC 2217 com port control), without
// sockets: a decoder that takes bytes in any split and an encoder for what a client or a server
// sends.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace beamlink::telnet {

inline constexpr std::uint8_t kSe = 240;
inline constexpr std::uint8_t kSb = 250;
inline constexpr std::uint8_t kWill = 251;
inline constexpr std::uint8_t kWont = 252;
inline constexpr std::uint8_t kDo = 253;
inline constexpr std::uint8_t kDont = 254;
inline constexpr std::uint8_t kIac = 255;

inline constexpr std::uint8_t kOptBinary = 0;
inline constexpr std::uint8_t kOptEcho = 1;
inline constexpr std::uint8_t kOptSuppressGoAhead = 3;
inline constexpr std::uint8_t kOptComPort = 44;

// COM-PORT-OPTION commands as the client sends them; the server answers with the same command
// plus kServerReply.
namespace cpo {
inline constexpr std::uint8_t kSignature = 0;
inline constexpr std::uint8_t kSetBaudRate = 1;
inline constexpr std::uint8_t kSetDataSize = 2;
inline constexpr std::uint8_t kSetParity = 3;
inline constexpr std::uint8_t kSetStopSize = 4;
inline constexpr std::uint8_t kSetControl = 5;
inline constexpr std::uint8_t kNotifyLineState = 6;
inline constexpr std::uint8_t kNotifyModemState = 7;
inline constexpr std::uint8_t kFlowControlSuspend = 8;
inline constexpr std::uint8_t kFlowControlResume = 9;
inline constexpr std::uint8_t kSetLineStateMask = 10;
inline constexpr std::uint8_t kSetModemStateMask = 11;
inline constexpr std::uint8_t kPurgeData = 12;
inline constexpr std::uint8_t kServerReply = 100;

// SET-PARITY values.
inline constexpr std::uint8_t kParityNone = 1;
inline constexpr std::uint8_t kParityOdd = 2;
inline constexpr std::uint8_t kParityEven = 3;
inline constexpr std::uint8_t kParityMark = 4;
inline constexpr std::uint8_t kParitySpace = 5;
// SET-STOPSIZE values.
inline constexpr std::uint8_t kStopOne = 1;
inline constexpr std::uint8_t kStopTwo = 2;
inline constexpr std::uint8_t kStopOneAndHalf = 3;
// SET-CONTROL values used here.
inline constexpr std::uint8_t kFlowNone = 1;
inline constexpr std::uint8_t kFlowXonXoff = 2;
inline constexpr std::uint8_t kFlowHardware = 3;
inline constexpr std::uint8_t kDtrOn = 8;
inline constexpr std::uint8_t kDtrOff = 9;
inline constexpr std::uint8_t kRtsOn = 11;
inline constexpr std::uint8_t kRtsOff = 12;
// PURGE-DATA values.
inline constexpr std::uint8_t kPurgeReceive = 1;
inline constexpr std::uint8_t kPurgeTransmit = 2;
inline constexpr std::uint8_t kPurgeBoth = 3;
// NOTIFY-MODEMSTATE bits.
inline constexpr std::uint8_t kModemCts = 0x10;
inline constexpr std::uint8_t kModemDeltaCts = 0x01;
}  // namespace cpo

// One unit of decoded input, in the order it arrived.
struct TelnetItem {
    enum class Kind {
        Data,            // bytes: data, IAC IAC already reduced to one 0xFF
        Negotiation,     // command: DO/DONT/WILL/WONT, option
        Subnegotiation,  // bytes: what stood between IAC SB and IAC SE, unescaped
        Command,         // command: any other two-byte command (NOP, GA, ...), ignored by users
    };
    Kind kind = Kind::Data;
    std::uint8_t command = 0;
    std::uint8_t option = 0;
    std::string bytes;
    bool operator==(const TelnetItem&) const = default;
};

class TelnetDecoder {
public:
    // A peer that never ends a subnegotiation must not grow memory without bound: longer ones are
    // dropped whole.
    static constexpr std::size_t kMaxSubnegotiation = 512;

    // Appends what the bytes complete to out; consecutive data bytes make one Data item. State
    // carries over between calls, so any split of the stream gives the same items.
    void feed(std::string_view bytes, std::vector<TelnetItem>& out);
    void reset() { *this = TelnetDecoder(); }

private:
    enum class State { Data, Iac, Option, Sub, SubIac };
    void emitData(std::vector<TelnetItem>& out, char byte);

    State state_ = State::Data;
    std::uint8_t command_ = 0;
    std::string sub_;
    bool subOverflow_ = false;
};

// Data with every 0xFF doubled.
std::string escapeData(std::string_view data);
// IAC command option.
std::string negotiation(std::uint8_t command, std::uint8_t option);
// The refusal of an option we do not support: DONT for WILL, WONT for DO, empty otherwise.
std::string refusal(std::uint8_t command, std::uint8_t option);
// IAC SB COM-PORT-OPTION code value IAC SE, with 0xFF in the value doubled.
std::string comPortCommand(std::uint8_t code, std::string_view value = {});
// The four-byte network-order value of SET-BAUDRATE.
std::string baudRateValue(std::uint32_t baud);
// The value of a four-byte network-order field; 0 when it is shorter.
std::uint32_t baudRateFromValue(std::string_view value);

}  // namespace beamlink::telnet
