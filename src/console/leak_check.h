#pragma once

namespace tarnvex {

/// In sanitizer builds, ends the process abnormally with "Leaked memory" when any allocation of
/// the run is still unreachable; elsewhere RAII makes it a no-op.
void checkForLeaks();

} // namespace tarnvex
