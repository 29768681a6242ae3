#include "platform/tree_removal.h"

#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace tarnvex {

void removeTree(const Directory& parent, const std::string& name) {
    // A file or a link goes at once; only a directory refuses.
    if (::unlinkat(parent.fd(), name.c_str(), 0) == 0) {
        return;
    }
    auto directory = parent.openChild(name);
    if (!directory) {
        return;
    }
    std::vector<std::string> entries;
    (void)directory->forEachEntry([&](std::string_view entry) { entries.emplace_back(entry); });
    for (const std::string& entry : entries) {
        removeTree(*directory, entry);
    }
    (void)::unlinkat(parent.fd(), name.c_str(), AT_REMOVEDIR);
}

} // namespace tarnvex
