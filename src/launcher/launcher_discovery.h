#pragma once

#include "error.h"
#include "platform/directory.h"

#include <optional>
#include <string>
#include <string_view>

namespace tarnvex {

/// The Prism Launcher data directory: its path and an open handle on it.
struct LauncherDirectory {
    std::string path;
    Directory directory;
};

/// Finds the launcher data directory below `home` (the value of HOME, if set) and checks that it
/// holds "instances" and "prismlauncher.cfg".
Result<LauncherDirectory> discoverLauncherDirectory(std::optional<std::string_view> home);

} // namespace tarnvex
