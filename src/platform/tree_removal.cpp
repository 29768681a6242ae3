#include "platform/tree_removal.h"

#include "platform/errno_error.h"
#include "platform/unique_fd.h"

#include <cerrno>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
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

Result<void> removeOnDevice(const Directory& parent, const std::string& name, dev_t device) {
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
    UniqueFd fd(::openat(parent.fd(), name.c_str(),
                         O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        return errno == ENOENT ? Result<void>() : failure(errno);
    }
    struct stat opened = {};
    if (::fstat(fd.get(), &opened) != 0) {
        return failure(errno);
    }
    if (opened.st_dev != device) {
        return failure(EBUSY);
    }
    const Directory directory(std::move(fd));
    std::vector<std::string> entries;
    Result<void> outcome =
        directory.forEachEntry([&](std::string_view entry) { entries.emplace_back(entry); });
    for (const std::string& entry : entries) {
        keepFirst(outcome, removeOnDevice(directory, entry, device));
    }
    if (::unlinkat(parent.fd(), name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) {
        keepFirst(outcome, failure(errno));
    }
    return outcome;
}

} // namespace

Result<void> removeTree(const Directory& parent, const std::string& name) {
    struct stat status = {};
    if (::fstat(parent.fd(), &status) != 0) {
        return failure(errno);
    }
    return removeOnDevice(parent, name, status.st_dev);
}

} // namespace tarnvex
