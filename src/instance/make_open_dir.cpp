#include "instance/make_open_dir.h"

#include <cstddef>
#include <string>

namespace tarnvex {

namespace {

constexpr std::size_t maxRelativePathBytes = 1023;
constexpr mode_t directoryMode = 0755;

// Keeps the directory that holds the new entry `level`, to make the entry durable.
Result<void> keepParentOf(const Directory& base, const std::string& level,
                          DirectorySyncs& touched) {
    const std::size_t slash = level.rfind('/');
    if (slash == std::string::npos || slash == 0) {
        touched.add(base.fd());
        return {};
    }
    auto parent = base.openChild(level.substr(0, slash));
    if (!parent) {
        return std::unexpected(parent.error());
    }
    touched.add(parent->fd());
    return {};
}

// Creates each leading part of the path in turn, so every missing parent exists before its child.
Result<void> makeEveryLevel(const Directory& base, const std::string& path,
                            DirectorySyncs& touched) {
    std::size_t end = 0;
    while (end < path.size()) {
        end = path.find('/', end + 1);
        if (end == std::string::npos) {
            end = path.size();
        }
        if (path[end - 1] == '/') {
            continue; // a doubled or leading slash adds no level
        }
        const std::string level = path.substr(0, end);
        auto made = base.makeChild(level, directoryMode);
        if (made) {
            if (auto kept = keepParentOf(base, level, touched); !kept) {
                return kept;
            }
        } else if (made.error() != Error::PathAlreadyExists) {
            return made;
        }
    }
    return {};
}

} // namespace

Result<Directory> makeOpenDir(const Directory& base, std::string_view relativePath,
                              DirectorySyncs& touched) {
    if (relativePath.size() > maxRelativePathBytes) {
        return std::unexpected(Error::NameTooLong);
    }
    const std::string path(relativePath);
    auto opened = base.openChild(path);
    if (opened || opened.error() != Error::FileNotFound) {
        return opened;
    }
    if (auto made = makeEveryLevel(base, path, touched); !made) {
        return std::unexpected(made.error());
    }
    return base.openChild(path);
}

} // namespace tarnvex
