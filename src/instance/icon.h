#pragma once

#include "error.h"
#include "platform/directory.h"
#include "platform/directory_syncs.h"

#include <string_view>

namespace tarnvex {

/// The key instance configurations name the icon by; the file is this plus ".png".
inline constexpr std::string_view iconKey = "icon_velkorhub";

/// Writes the instance icon as `icons/icon_velkorhub.png` below the launcher data directory,
/// creating `icons` if it is missing and replacing any earlier icon; what it touched is left to
/// `touched` to sync.
Result<void> writeIcon(const Directory& launcherDirectory, DirectorySyncs& touched);

} // namespace tarnvex
