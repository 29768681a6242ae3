#include "platform/wall_clock.h"

#include <ctime>

namespace tarnvex {

std::int64_t wallClockMilliseconds() {
    timespec now{};
    if (::clock_gettime(CLOCK_REALTIME, &now) != 0) {
        return 0;
    }
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

} // namespace tarnvex
