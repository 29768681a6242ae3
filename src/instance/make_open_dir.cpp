#include "instance/make_open_dir.h"

#include <cstddef>
#include <string>

namespace tarnvex {

namespace {

constexpr std::size_t maxRelativePathBytes = 1023;
constexpr mode_t directoryMode = 0755;

// Creates each leading part of the path in turn, so every missing parent exists before its child.
Result<void> makeEveryLevel(const Directory& base, const std::string& path) {
    std::size_t end = 0;
    while (end < path.size()) {
        end = path.find('/', end + 1);
        if (end == std::string::npos) {
            end = path.size();
        }
        if (path[end - 1] == '/') {
            continue; // a doubled or leading slash adds no level
        }
        auto made = base.makeChild(path.substr(0, end), directoryMode);
        if (!made && made.error() != Error::PathAlreadyExists) {
            return made;
        }
    }
    return {};
}

} // namespace

Result<Directory> makeOpenDir(const Directory& base, std::string_view relativePath) {
    if (relativePath.size() > maxRelativePathBytes) {
        return std::unexpected(Error::NameTooLong);
    }
    const std::string path(relativePath);
    auto opened = base.openChild(path);
    if (opened || opened.error() != Error::FileNotFound) {
        return opened;
    }
    if (auto made = makeEveryLevel(base, path); !made) {
        return std::unexpected(made.error());
    }
    return base.openChild(path);
}

} // namespace tarnvex
