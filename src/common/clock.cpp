#include "common/clock.h"

#include <cstdio>

namespace tpx {

std::string timeStamp(const Clock& clock) {
    LocalTime t = clock.localTime();
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return buf;
}

}  // namespace tpx
