#pragma once

#include <cerrno>

namespace tarnvex {

/// Makes a system call again for as long as a signal interrupts it; returns its last result,
/// with `errno` as the call left it.
template <typename Call> auto retryInterrupted(Call call) {
    for (;;) {
        const auto result = call();
        if (result != -1 || errno != EINTR) {
            return result;
        }
    }
}

} // namespace tarnvex
