#include "launcher/launcher_folders.h"

#include "console/log.h"
#include "launcher/folder_settings.h"
#include "platform/path_join.h"
#include "platform/small_file.h"

#include <cstddef>
#include <string_view>

namespace tarnvex {

namespace {

// A settings file is a few KiB; anything far larger is not one the launcher wrote.
constexpr std::size_t largestConfiguration = std::size_t{1} << 20;

LauncherFolder resolveFolder(const std::string& launcherPath, const std::string& setting,
                             std::string_view defaultName, Error unavailable) {
    // The launcher's settings page writes the default out by name as often as not.
    const bool named = !setting.empty() && setting != defaultName;
    std::string location = named ? setting : std::string(defaultName);
    std::string path = location.starts_with('/') ? location : joinPath({launcherPath, location});
    return {std::move(location), std::move(path), named, unavailable};
}

} // namespace

LauncherFolders readLauncherFolders(const LauncherDirectory& launcher) {
    const auto configuration =
        readSmallFile(launcher.directory, "prismlauncher.cfg", largestConfiguration);
    const FolderSettings settings = parseFolderSettings(configuration.value_or(""));
    return {resolveFolder(launcher.path, settings.instanceDir, "instances",
                          Error::InstanceFolderUnavailable),
            resolveFolder(launcher.path, settings.iconsDir, "icons", Error::IconFolderUnavailable)};
}

Result<Directory> openLauncherFolder(const Directory& launcherDirectory,
                                     const LauncherFolder& folder) {
    auto opened = launcherDirectory.openChild(folder.location);
    if (!opened && folder.named && opened.error() == Error::FileNotFound) {
        logError("A folder named in Prism Launcher's settings is missing (is its drive "
                 "connected?): " +
                 folder.path);
        return std::unexpected(folder.unavailable);
    }
    return opened;
}

} // namespace tarnvex
