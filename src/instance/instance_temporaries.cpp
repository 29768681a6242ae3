#include "instance/instance_temporaries.h"

#include "instance/instance_name.h"
#include "instance/servers_dat.h"
#include "platform/atomic_file.h"

#include <string>
#include <string_view>
#include <vector>

namespace tarnvex {

void sweepInstanceTemporaries(const Directory& instances) {
    std::vector<std::string> folders;
    (void)instances.forEachEntry([&](std::string_view name) {
        // Staging folders are swept whole, as what they hold was never placed.
        if (!name.starts_with(reservedNamePrefix)) {
            folders.emplace_back(name);
        }
    });
    for (const std::string& folder : folders) {
        // Anything that is not a folder, or is a link, fails to open and is passed over.
        auto instance = instances.openChildNoFollow(folder);
        if (!instance) {
            continue;
        }
        sweepTemporaries(*instance);
        if (auto minecraft = instance->openChildNoFollow(std::string(minecraftFolderName))) {
            sweepTemporaries(*minecraft);
        }
    }
}

} // namespace tarnvex
