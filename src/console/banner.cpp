#include "console/banner.h"

#include <string>

namespace tarnvex {

Result<void> writeBanner(BufferedWriter& out) {
    const std::string rule(69, '#');
    std::string banner;
    banner.append(rule).append("\n");
    banner.append(" MINECRAFT TARNVEX by @Velkor and @Brannoc\n");
    banner.append("\n");
    banner.append(" Version: v").append(TARNVEX_VERSION).append("\n");
    banner.append("\n");
    banner.append(" This program will help you setup Prism Launcher + Fabric mod loader,\n");
    banner.append(" then install the sync client, which will keep your mods in sync\n");
    banner.append(" with the Velkor mod list!\n");
    banner.append(rule).append("\n");
    banner.append("\n");
    return out.write(banner);
}

} // namespace tarnvex
