#pragma once

#include "error.h"
#include "launcher/launcher_folders.h"
#include "platform/directory.h"
#include "platform/directory_syncs.h"

#include <string_view>

namespace tarnvex {

/// The key instance configurations name the icon by; the file is this plus ".png".
inline constexpr std::string_view iconKey = "icon_velkorhub";

/// Writes the instance icon as `icon_velkorhub.png` into the launcher's icon folder, replacing any
/// earlier icon. The default folder, `icons` below the launcher data directory, is created if it
/// is missing; a folder named in the launcher's settings must exist. What it touched is left to
/// `touched` to sync.
Result<void> writeIcon(const Directory& launcherDirectory, const LauncherFolder& iconsFolder,
                       DirectorySyncs& touched);

} // namespace tarnvex
