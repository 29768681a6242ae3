#pragma once

#include "error.h"
#include "launcher/launcher_discovery.h"
#include "platform/directory.h"

#include <string>

namespace tarnvex {

/// A folder of the launcher's that its settings can move, onto an external drive say.
struct LauncherFolder {
    /// Relative to the launcher data directory, or absolute.
    std::string location;
    /// As log lines show it: a relative location joined to the data directory's path.
    std::string path;
    /// Named in the launcher's settings rather than left at the default. Such a folder is never
    /// created: where it is missing, its drive may just not be mounted.
    bool named = false;
    /// What a named folder that is missing fails with.
    Error unavailable = Error::FileNotFound;
};

struct LauncherFolders {
    LauncherFolder instances;
    LauncherFolder icons;
};

/// The instance and icon folders where the launcher's settings in prismlauncher.cfg put them. A
/// file that cannot be read, or that is larger than 1 MiB, leaves both at their defaults.
LauncherFolders readLauncherFolders(const LauncherDirectory& launcher);

/// Opens `folder` as the launcher finds it: a relative location from where the data directory
/// really is, so that ".." leaves the target of a linked data directory. A named folder that is
/// missing is logged with its path and fails with its `unavailable` error.
Result<Directory> openLauncherFolder(const Directory& launcherDirectory,
                                     const LauncherFolder& folder);

} // namespace tarnvex
