#pragma once

#include <cstdint>

namespace tarnvex {

/// Milliseconds since the Unix epoch from the real-time clock, or 0 when it cannot be read.
std::int64_t wallClockMilliseconds();

} // namespace tarnvex
