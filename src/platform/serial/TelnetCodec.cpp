#include "TelnetCodec.h"

namespace beamlink::telnet {

namespace {

bool isNegotiation(std::uint8_t command) {
    return command == kWill || command == kWont || command == kDo || command == kDont;
}

char byteOf(std::uint8_t value) {
    return static_cast<char>(value);
}

}  // namespace

void TelnetDecoder::emitData(std::vector<TelnetItem>& out, char byte) {
    if (out.empty() || out.back().kind != TelnetItem::Kind::Data) {
        out.push_back(TelnetItem{});
    }
    out.back().bytes.push_back(byte);
}

void TelnetDecoder::feed(std::string_view bytes, std::vector<TelnetItem>& out) {
    for (char c : bytes) {
        auto b = static_cast<std::uint8_t>(c);
        switch (state_) {
            case State::Data:
                if (b == kIac) {
                    state_ = State::Iac;
                } else {
                    emitData(out, c);
                }
                break;
            case State::Iac:
                if (b == kIac) {
                    emitData(out, c);
                    state_ = State::Data;
                } else if (isNegotiation(b)) {
                    command_ = b;
                    state_ = State::Option;
                } else if (b == kSb) {
                    sub_.clear();
                    subOverflow_ = false;
                    state_ = State::Sub;
                } else {
                    // A stray SE lands here too: there is no subnegotiation to end.
                    out.push_back(TelnetItem{TelnetItem::Kind::Command, b, 0, {}});
                    state_ = State::Data;
                }
                break;
            case State::Option:
                out.push_back(TelnetItem{TelnetItem::Kind::Negotiation, command_, b, {}});
                state_ = State::Data;
                break;
            case State::Sub:
                if (b == kIac) {
                    state_ = State::SubIac;
                } else if (sub_.size() < kMaxSubnegotiation) {
                    sub_.push_back(c);
                } else {
                    subOverflow_ = true;
                }
                break;
            case State::SubIac:
                if (b == kIac) {
                    if (sub_.size() < kMaxSubnegotiation) {
                        sub_.push_back(c);
                    } else {
                        subOverflow_ = true;
                    }
                    state_ = State::Sub;
                } else if (b == kSe) {
                    if (!subOverflow_) {
                        out.push_back(TelnetItem{TelnetItem::Kind::Subnegotiation, 0, 0, sub_});
                    }
                    sub_.clear();
                    state_ = State::Data;
                } else if (b == kSb) {
                    // A new subnegotiation before the old one ended: the old one was cut short.
                    sub_.clear();
                    subOverflow_ = false;
                    state_ = State::Sub;
                } else if (isNegotiation(b)) {
                    // The peer never closed the subnegotiation; resynchronise on its next command.
                    sub_.clear();
                    command_ = b;
                    state_ = State::Option;
                } else {
                    sub_.clear();
                    out.push_back(TelnetItem{TelnetItem::Kind::Command, b, 0, {}});
                    state_ = State::Data;
                }
                break;
        }
    }
}

std::string escapeData(std::string_view data) {
    std::string out;
    out.reserve(data.size() + 8);
    for (char c : data) {
        out.push_back(c);
        if (static_cast<std::uint8_t>(c) == kIac) {
            out.push_back(c);
        }
    }
    return out;
}

std::string negotiation(std::uint8_t command, std::uint8_t option) {
    return {byteOf(kIac), byteOf(command), byteOf(option)};
}

std::string refusal(std::uint8_t command, std::uint8_t option) {
    if (command == kWill) {
        return negotiation(kDont, option);
    }
    if (command == kDo) {
        return negotiation(kWont, option);
    }
    return {};
}

std::string comPortCommand(std::uint8_t code, std::string_view value) {
    std::string out = {byteOf(kIac), byteOf(kSb), byteOf(kOptComPort), byteOf(code)};
    out += escapeData(value);
    out.push_back(byteOf(kIac));
    out.push_back(byteOf(kSe));
    return out;
}

std::string baudRateValue(std::uint32_t baud) {
    return {byteOf(static_cast<std::uint8_t>(baud >> 24)),
            byteOf(static_cast<std::uint8_t>(baud >> 16)),
            byteOf(static_cast<std::uint8_t>(baud >> 8)), byteOf(static_cast<std::uint8_t>(baud))};
}

std::uint32_t baudRateFromValue(std::string_view value) {
    if (value.size() < 4) {
        return 0;
    }
    std::uint32_t baud = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        baud = (baud << 8) | static_cast<std::uint8_t>(value[i]);
    }
    return baud;
}

}  // namespace beamlink::telnet
