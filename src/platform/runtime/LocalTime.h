#pragma once
// The local clock and the time-zone offsets, behind interfaces a test can replace.

#include <cstdint>

namespace beamlink {

// Minutes, with the sign convention UTC = local + Bias.
struct ZoneInfo {
    static constexpr std::uint32_t kUnknown = 0, kStandard = 1, kDaylight = 2;
    std::int32_t Bias = 0;
    std::int32_t StandardBias = 0;
    std::int32_t DaylightBias = 0;
    std::uint32_t ResultCode = kUnknown;
};

class LocalClock {
public:
    virtual ~LocalClock() = default;
    // Local date-time to the millisecond (days since 30 December 1899).
    virtual double Now() const = 0;
};

class ZoneSource {
public:
    virtual ~ZoneSource() = default;
    virtual ZoneInfo TimeZoneInformation() const = 0;
};

// clock_gettime + localtime_r.
class SystemClock final : public LocalClock {
public:
    double Now() const override;
};

// tzset + localtime_r: Bias = timezone / 60, daylight when tm_isdst > 0,
// DaylightBias = -(tm_gmtoff / 60) - Bias.
class SystemZone final : public ZoneSource {
public:
    ZoneInfo TimeZoneInformation() const override;
};

}  // namespace beamlink
