#include "common/clock.h"

#include <cstdio>
#include <ctime>

namespace tpx {

std::string timeStamp(const Clock& clock) {
    LocalTime t = clock.localTime();
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return buf;
}

std::string dateText(const Clock& clock) {
    std::time_t t = static_cast<std::time_t>(clock.calendarSeconds());
    char buf[64];
    if (!::ctime_r(&t, buf)) return "\n";
    return buf;
}

std::string durationText(std::int64_t seconds) {
    const long h = static_cast<long>(seconds / 3600), m = static_cast<long>(seconds / 60 % 60),
               s = static_cast<long>(seconds % 60);
    char buf[128];
    if (h > 0) std::snprintf(buf, sizeof buf, "%2ld hour(s) %02ld minute(s) %02ld second(s)\n", h, m, s);
    else if (m > 0) std::snprintf(buf, sizeof buf, "%02ld minute(s) %02ld second(s)\n", m, s);
    else if (s > 0) std::snprintf(buf, sizeof buf, "%02ld second(s)\n", s);
    else buf[0] = 0;
    return buf;
}

}  // namespace tpx
