#pragma once
// Number <-> text conversions with the platform's rules, independent of the C locale.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace beamlink {

static_assert(sizeof(long double) >= 10 && __LDBL_MANT_DIG__ == 64,
              "angles are 80-bit extended floats; this CPU would send different words");

// The platform's conversion error.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Spaces (only ' ') around; one optional sign; digits with at most one decimal separator,
// which may be any character of `separators`; an optional exponent E/e, optional sign and
// optional digits. A lone separator reads 0; an empty field or any other character fails.
bool TextToFloat(std::string_view text, std::string_view separators, long double& value);
// As TextToFloat; throws EConvertError "'<text>' is not a valid floating point value".
long double StrToFloat(std::string_view text, std::string_view separators);
// A whole decimal number (optional sign, digits, fits 32 bits); throws EConvertError
// "'<text>' is not a valid integer value".
std::int32_t StrToInt(std::string_view text);

// "%*.*f": fixed notation with `precision` decimals after 18 significant digits, halves away
// from zero, no minus on a value that rounds to zero, right-aligned in `width`.
std::string FormatFixed(long double value, int width, int precision, char decimalSeparator);
// General conversion: up to 15 significant digits, trailing zeros dropped.
std::string FloatToStr(long double value, char decimalSeparator);

}  // namespace beamlink
