#include "add_instance.h"

#include "launcher/launcher_discovery.h"

#include <cstdlib>
#include <optional>
#include <string_view>

namespace tarnvex {

namespace {

std::optional<std::string_view> homeFromEnvironment() {
    const char* home = std::getenv("HOME");
    if (home == nullptr) {
        return std::nullopt;
    }
    return std::string_view(home);
}

} // namespace

Result<InstanceOutcome> addInstance(const InstallerSettings& /*settings*/, BufferedReader& /*in*/,
                                    BufferedWriter& /*out*/) {
    auto launcher = discoverLauncherDirectory(homeFromEnvironment());
    if (!launcher) {
        return std::unexpected(launcher.error());
    }
    return InstanceOutcome::Done;
}

} // namespace tarnvex
