#pragma once
// Records sent to the beam unit: four unsigned decimal fields, each followed by one space,
// then a carriage return.

#include <cstdint>
#include <string>

namespace beamlink {

inline constexpr std::uint8_t kPositionCode = 67;
inline constexpr std::uint8_t kStartControlCode = 68;
inline constexpr std::uint8_t kStopControlCode = 69;

// Low 16 bits of az * 100 truncated toward zero; the product is extended with the factor 100
// as a single-precision constant.
std::uint16_t azimuthWord(long double az);
// As azimuthWord on |el|, plus 36000 (mod 65536) when el is below zero; -0 is not below zero.
std::uint16_t elevationWord(long double el);

std::string formatRecord(unsigned field1, unsigned field2, unsigned field3, unsigned field4);

}  // namespace beamlink
