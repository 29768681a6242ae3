#pragma once

#include <string>
#include <string_view>

namespace tarnvex {

/// Where the launcher's settings put its instance and icon folders, as the settings hold them:
/// relative to the launcher data directory or absolute. Empty where the launcher takes its
/// default.
struct FolderSettings {
    std::string instanceDir;
    std::string iconsDir;
};

/// Reads `InstanceDir` and `IconsDir` from the bytes of prismlauncher.cfg as Prism Launcher 9
/// does: by Qt's INI rules, [General] section only, where the file has a `ConfigVersion`, else
/// by the launcher's older line format. A file Qt refuses, a setting that is absent, or one the
/// launcher cannot take as a folder name (a list, a value of another type, malformed text) gives
/// the default. Nothing else in the file is looked at.
FolderSettings parseFolderSettings(std::string_view configuration);

} // namespace tarnvex
