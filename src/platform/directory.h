#pragma once

#include "error.h"
#include "platform/unique_fd.h"

#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace tarnvex {

class RemovalOnInterruptGroup;

/// An open directory: the base that files and subdirectories are opened relative to.
class Directory {
public:
    /// Takes over `fd`, an open directory.
    explicit Directory(UniqueFd fd) : fd_(std::move(fd)) {}

    /// Opens a directory by path, following symbolic links.
    static Result<Directory> open(const std::string& path);

    /// Opens a directory below this one; it carries this one's `removalOnInterrupt`.
    Result<Directory> openChild(const std::string& relativePath) const;

    /// Opens the directory `name` right here, never through a link (that fails) and without this
    /// one's `removalOnInterrupt`: for what the installer looks into or removes.
    Result<Directory> openChildNoFollow(const std::string& name) const;

    /// Creates one directory below this one with `mode` (before the umask); its parent must
    /// exist. An existing entry of that name fails with `PathAlreadyExists`. It is marked in
    /// `removalOnInterrupt`, if any.
    Result<void> makeChild(const std::string& relativePath, mode_t mode) const;

    /// Whether `name` resolves to an entry here as the file system compares names: on a Mac's
    /// default volume also in another letter case or Unicode form.
    Result<bool> resolves(const std::string& name) const;

    /// Calls `visit` with every entry name but "." and "..", from a fresh scan each time.
    Result<void> forEachEntry(const std::function<void(std::string_view)>& visit) const;

    int fd() const { return fd_.get(); }

    /// Where what is made in this directory and below it is marked for removal on interrupt: a
    /// folder built out of sight. `group` must outlive this and every directory opened below it.
    void removeOnInterrupt(RemovalOnInterruptGroup& group) { removalOnInterrupt_ = &group; }
    RemovalOnInterruptGroup* removalOnInterrupt() const { return removalOnInterrupt_; }

private:
    UniqueFd fd_;
    RemovalOnInterruptGroup* removalOnInterrupt_ = nullptr;
};

} // namespace tarnvex
