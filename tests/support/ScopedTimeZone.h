#pragma once
// Sets TZ for the lifetime of a test object and puts the previous value back afterwards.

#include <time.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace beamlink::test_support {

class ScopedTimeZone {
public:
    ScopedTimeZone() {
        if (const char* tz = std::getenv("TZ")) {
            saved_ = tz;
        }
    }
    ~ScopedTimeZone() {
        if (saved_) {
            setenv("TZ", saved_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

    // A zone name (Area/City) needs its tzdata file; false when it is not installed. POSIX rule
    // strings (with a ',') need none.
    bool use(const std::string& tz) {
        const bool zoneName =
            tz.find('/') != std::string::npos && tz.find(',') == std::string::npos;
        if (zoneName && !std::filesystem::exists("/usr/share/zoneinfo/" + tz)) {
            return false;
        }
        setenv("TZ", tz.c_str(), 1);
        tzset();
        return true;
    }

private:
    std::optional<std::string> saved_;
};

}  // namespace beamlink::test_support
