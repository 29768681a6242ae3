#include "instance/icon.h"

#include "console/log.h"
#include "instance/icon_image.h"
#include "instance/make_open_dir.h"
#include "platform/atomic_file.h"
#include "platform/directory_syncs.h"

#include <string>

namespace tarnvex {

Result<void> writeIcon(const Directory& launcherDirectory) {
    // The log line keeps its long-standing spelling; the file is the one instance.cfg names.
    logInfo("Writing icon_velkrhub.png");
    auto icons = makeOpenDir(launcherDirectory, "icons");
    if (!icons) {
        return std::unexpected(icons.error());
    }
    const auto image = iconImage();
    // Synced on the way out: the icon is on disk before the run goes on.
    DirectorySyncs renamed;
    return replaceFile(*icons, std::string(iconKey) + ".png",
                       std::string_view(reinterpret_cast<const char*>(image.data()), image.size()),
                       renamed);
}

} // namespace tarnvex
