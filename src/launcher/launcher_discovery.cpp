#include "launcher/launcher_discovery.h"

#include "console/log.h"
#include "platform/path_join.h"

#include <string>

namespace tarnvex {

namespace {

std::unexpected<Error> unavailable() {
    logError("Failed to find Prism Launcher installation directory. " +
             std::string(errorName(Error::AppDataDirUnavailable)));
    return std::unexpected(Error::AppDataDirUnavailable);
}

} // namespace

Result<LauncherDirectory> discoverLauncherDirectory(std::optional<std::string_view> home) {
    // Only an absolute HOME can anchor the directory; anything else is as good as none.
    if (!home || home->empty() || home->front() != '/') {
        return unavailable();
    }
    std::string path = joinPath({*home, "Library", "Application Support", "PrismLauncher"});

    auto scanned = Directory::open(path);
    if (!scanned) {
        logWarning("Failed to open Prism dir. Error: " + std::string(errorName(scanned.error())) +
                   ", dir: " + path);
        return unavailable();
    }
    bool hasInstances = false;
    bool hasConfiguration = false;
    auto listed = scanned->forEachEntry([&](std::string_view name) {
        if (name == "instances") {
            hasInstances = true;
        } else if (name == "prismlauncher.cfg") {
            hasConfiguration = true;
        }
    });
    if (!listed) {
        logWarning("Dir iter error: " + std::string(errorName(listed.error())));
        return unavailable();
    }
    if (!hasInstances || !hasConfiguration) {
        logWarning("Dir path does not look like a valid PrismLauncher installation: " + path);
        return unavailable();
    }

    auto directory = Directory::open(path);
    if (!directory) {
        return std::unexpected(directory.error());
    }
    return LauncherDirectory{std::move(path), std::move(*directory)};
}

} // namespace tarnvex
