#pragma once

namespace tarnvex {

/// Reports a fatal signal (segmentation fault, illegal instruction, bus error, arithmetic
/// exception) with its fault address on standard error, then lets the default action end the
/// process.
void installCrashReporter();

/// A handler that does nothing for SIGPIPE, so that writing to a closed pipe fails as an error
/// instead of ending the process.
void installBrokenPipeHandler();

} // namespace tarnvex
