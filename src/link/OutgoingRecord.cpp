#include "OutgoingRecord.h"

#include <cmath>

namespace beamlink {

namespace {

// The factor is a single-precision constant; the product is rounded to the 64-bit mantissa
// before truncation (0.29 gives 29, where a double product would give 28).
constexpr float kHundred = 100.0f;

std::uint16_t low16OfTruncated(long double product) {
    if (!std::isfinite(product)) {
        return 0;
    }
    long double whole = std::fmod(std::trunc(product), 65536.0L);
    if (whole < 0) {
        whole += 65536.0L;
    }
    return static_cast<std::uint16_t>(whole);
}

}  // namespace

std::uint16_t azimuthWord(long double az) {
    return low16OfTruncated(az * static_cast<long double>(kHundred));
}

std::uint16_t elevationWord(long double el) {
    auto word = low16OfTruncated(std::fabs(el) * static_cast<long double>(kHundred));
    if (el < 0) {
        word = static_cast<std::uint16_t>(word + 36000u);
    }
    return word;
}

std::string formatRecord(unsigned field1, unsigned field2, unsigned field3, unsigned field4) {
    std::string record;
    record.reserve(24);
    for (unsigned field : {field1, field2, field3, field4}) {
        record += std::to_string(field);
        record += ' ';
    }
    record += '\r';
    return record;
}

}  // namespace beamlink
