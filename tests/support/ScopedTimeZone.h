// SPDX-License-Identifier: MIT
#pragma once

#include <time.h>

#include <cstdlib>
#include <string>

namespace orvane::test {

/// TZ for the scope, then back to what it was.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const char* tz) {
        if (const char* old = std::getenv("TZ")) old_ = old;
        set(tz);
    }
    ~ScopedTimeZone() { set(old_.empty() ? nullptr : old_.c_str()); }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;
    static void set(const char* tz) {
        if (tz) {
            setenv("TZ", tz, 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

  private:
    std::string old_;
};

/// Seconds since 1970 of a UTC date and time.
inline double utc(int y, int mo, int d, int h, int mi, int s = 0) {
    tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    return static_cast<double>(timegm(&t));
}

}  // namespace orvane::test
