#pragma once

#include <string_view>

namespace tarnvex {

/// Removes every environment variable but `kept`, so that no library this process loads can take
/// a setting from the environment: libcurl and TLS libraries read proxies, key log files and
/// back ends from variables on their own. Call it while the process still has one thread.
void keepOnlyEnvironmentVariable(std::string_view kept);

} // namespace tarnvex
