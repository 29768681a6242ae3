#include "instance/icon.h"

#include "console/log.h"
#include "instance/icon_image.h"
#include "instance/make_open_dir.h"
#include "platform/atomic_file.h"

#include <string>

namespace tarnvex {

Result<void> writeIcon(const Directory& launcherDirectory, DirectorySyncs& touched) {
    // The log line keeps its long-standing spelling; the file is the one instance.cfg names.
    logInfo("Writing icon_velkrhub.png");
    auto icons = makeOpenDir(launcherDirectory, "icons", touched);
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
