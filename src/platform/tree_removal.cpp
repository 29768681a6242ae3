#include "platform/tree_removal.h"

#include "platform/errno_error.h"

#include <cerrno>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarnvex {

namespace {

Result<void> failure(int errnoValue) {
    return std::unexpected(errorFromErrno(errnoValue));
}

// The first failure is the one reported; the removal goes on past it.
void keepFirst(Result<void>& outcome, const Result<void>& next) {
    if (outcome && !next) {
        outcome = next;
    }
}

// Whether the directory open at `fd`, found in the one open at `parentFd`, is where a mount
// starts.
Result<bool> isMountPoint(int parentFd, int fd) {
    struct stat parent = {};
    struct stat status = {};
    if (::fstat(parentFd, &parent) != 0 || ::fstat(fd, &status) != 0) {
        return std::unexpected(errorFromErrno(errno));
    }
    if (status.st_dev != parent.st_dev) {
        return true;
    }
#if defined(__linux__) && defined(_GNU_SOURCE) && defined(STATX_ATTR_MOUNT_ROOT)
    // A bind mount shows the device of the file system it shows, so only the kernel can tell
    // where it starts. A kernel before 5.8 (or a C library that stands in for statx) leaves the
    // attribute out of the mask, and the device alone tells.
    struct statx extended = {};
    if (::statx(fd, "", AT_EMPTY_PATH, 0, &extended) == 0) {
        return (extended.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
               (extended.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    }
    if (errno != ENOSYS && errno != EPERM) {
        return std::unexpected(errorFromErrno(errno));
    }
#endif
    // On macOS the device tells: every mount there has a file system id of its own, which is what
    // st_dev holds, and there are no bind mounts (a nullfs or FUSE view is a mount of its own).
    return false;
}

Result<void> removeEntry(const Directory& parent, const std::string& name);

Result<void> removeDirectory(const Directory& parent, const std::string& name,
                             const Directory& opened) {
    auto mount = isMountPoint(parent.fd(), opened.fd());
    if (!mount) {
        return std::unexpected(mount.error());
    }
    if (*mount) {
        return failure(EBUSY);
    }
    std::vector<std::string> entries;
    Result<void> outcome =
        opened.forEachEntry([&](std::string_view entry) { entries.emplace_back(entry); });
    for (const std::string& entry : entries) {
        keepFirst(outcome, removeEntry(opened, entry));
    }
    if (::unlinkat(parent.fd(), name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) {
        keepFirst(outcome, failure(errno));
    }
    return outcome;
}

Result<void> removeEntry(const Directory& parent, const std::string& name) {
    struct stat status = {};
    if (::fstatat(parent.fd(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT ? Result<void>() : failure(errno);
    }
    if (!S_ISDIR(status.st_mode)) {
        // A link that cannot be unlinked stays a link.
        if (::unlinkat(parent.fd(), name.c_str(), 0) != 0 && errno != ENOENT) {
            return failure(errno);
        }
        return {};
    }
    // Should the name have become a link since, the open fails rather than follow it.
    auto directory = parent.openChildNoFollow(name);
    if (!directory) {
        return directory.error() == Error::FileNotFound ? Result<void>()
                                                        : std::unexpected(directory.error());
    }
    return removeDirectory(parent, name, *directory);
}

} // namespace

Result<void> removeTree(const Directory& parent, const std::string& name, const Directory& opened) {
    return removeDirectory(parent, name, opened);
}

} // namespace tarnvex
