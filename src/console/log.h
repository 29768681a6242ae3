#pragma once

#include <string_view>

namespace tarnvex {

/// One log line on standard error: "info: ", "warning: " or "error: ", the message and a line
/// feed, written whole so that it never interleaves with other output. Logging never fails.
void logInfo(std::string_view message);
void logWarning(std::string_view message);
void logError(std::string_view message);

} // namespace tarnvex
