#include "LocalTime.h"

#include <algorithm>
#include <ctime>

#include "DateTime.h"

namespace beamlink {

namespace {

constexpr double kUnixEpochDay = 25'569;  // 1 January 1970
constexpr double kMsPerDay = 86'400'000;

}  // namespace

double SystemClock::Now() const {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    const auto ms = static_cast<std::uint16_t>(ts.tv_nsec / 1'000'000);
    tm local{};
    if (localtime_r(&ts.tv_sec, &local) == nullptr || local.tm_year + 1900 < 1 ||
        local.tm_year + 1900 > 9999) {
        // A clock outside the calendar: plain arithmetic on the epoch still gives a value.
        return kUnixEpochDay + (static_cast<double>(ts.tv_sec) * 1000 + ms) / kMsPerDay;
    }
    DateTimeParts parts;
    parts.Year = static_cast<std::uint16_t>(local.tm_year + 1900);
    parts.Month = static_cast<std::uint16_t>(local.tm_mon + 1);
    parts.Day = static_cast<std::uint16_t>(local.tm_mday);
    parts.Hour = static_cast<std::uint16_t>(local.tm_hour);
    parts.Minute = static_cast<std::uint16_t>(local.tm_min);
    // A leap second (zones with leap tables) is held at :59 rather than rejected.
    parts.Second = static_cast<std::uint16_t>(std::min(local.tm_sec, 59));
    parts.MilliSecond = ms;
    return EncodeDateTime(parts);
}

ZoneInfo SystemZone::TimeZoneInformation() const {
    // TZ may have changed since the last call; tzset rereads it and sets `timezone`.
    tzset();
    const time_t now = time(nullptr);
    tm local{};
    const bool converted = localtime_r(&now, &local) != nullptr;
    // Read after the conversion, which may refresh it from the zone's rules.
    ZoneInfo info;
    info.Bias = static_cast<std::int32_t>(timezone / 60);
    if (!converted) {
        info.ResultCode = ZoneInfo::kStandard;
        return info;
    }
    info.ResultCode = local.tm_isdst > 0 ? ZoneInfo::kDaylight : ZoneInfo::kStandard;
    info.DaylightBias = static_cast<std::int32_t>(-(local.tm_gmtoff / 60) - info.Bias);
    return info;
}

}  // namespace beamlink
