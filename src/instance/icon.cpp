#include "instance/icon.h"

#include "console/log.h"
#include "instance/icon_image.h"
#include "instance/make_open_dir.h"
#include "launcher/launcher_folders.h"
#include "platform/atomic_file.h"

#include <string>

namespace tarnvex {

Result<void> writeIcon(const Directory& launcherDirectory, const LauncherFolder& iconsFolder,
                       DirectorySyncs& touched) {
    // The log line keeps its long-standing spelling; the file is the one instance.cfg names.
    logInfo("Writing icon_velkrhub.png");
    auto icons = iconsFolder.named ? openLauncherFolder(launcherDirectory, iconsFolder)
                                   : makeOpenDir(launcherDirectory, iconsFolder.location, touched);
    if (!icons) {
        return std::unexpected(icons.error());
    }
    sweepTemporaries(*icons);
    const auto image = iconImage();
    return replaceFile(*icons, std::string(iconKey) + ".png",
                       std::string_view(reinterpret_cast<const char*>(image.data()), image.size()),
                       touched);
}

} // namespace tarnvex
