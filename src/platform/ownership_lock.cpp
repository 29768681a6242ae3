#include "platform/ownership_lock.h"

#include "platform/errno_error.h"
#include "platform/random_suffix.h"
#include "platform/retry_interrupted.h"

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <vector>

namespace tarnvex {

namespace {

bool lock(int fd, int operation) {
    return retryInterrupted([&] { return ::flock(fd, operation); }) == 0;
}

// Whether `name` still names the file open at `fd`: a sweep may have removed it, and another
// entry may have taken its name since.
Result<bool> stillNamed(int directoryFd, const std::string& name, int fd) {
    struct stat opened = {};
    struct stat named = {};
    if (::fstat(fd, &opened) != 0) {
        return std::unexpected(errorFromErrno(errno));
    }
    if (::fstatat(directoryFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) {
            return false;
        }
        return std::unexpected(errorFromErrno(errno));
    }
    return opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

std::optional<UniqueFd> lockLeftover(int directoryFd, const std::string& name, int flags) {
    // Non-blocking, so that a FIFO planted under such a name cannot stall the open.
    UniqueFd fd(::openat(directoryFd, name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd || !lock(fd.get(), LOCK_EX | LOCK_NB)) {
        return std::nullopt;
    }
    auto named = stillNamed(directoryFd, name, fd.get());
    if (!named || !*named) {
        return std::nullopt;
    }
    return fd;
}

} // namespace

Result<void> lockAsOurs(int directoryFd, const std::string& name, int fd) {
    // A volume without locks (or, on NFS, without them on a descriptor opened read-only) refuses
    // any other run's lock on it too, so no sweep can take it.
    if (!lock(fd, LOCK_EX)) {
        return {};
    }
    // Between the creation and this lock, a sweep may have locked the new entry and removed it;
    // it is ours only if it is still there now that we hold the lock.
    auto named = stillNamed(directoryFd, name, fd);
    if (!named) {
        return std::unexpected(named.error());
    }
    if (!*named) {
        return std::unexpected(Error::FileNotFound);
    }
    return {};
}

void sweepLeftovers(const Directory& dir, const std::string& prefix, int flags,
                    const std::function<void(const std::string&)>& remove) {
    std::vector<std::string> found;
    (void)dir.forEachEntry([&](std::string_view entry) {
        if (entry.size() == prefix.size() + randomSuffixLength && entry.starts_with(prefix)) {
            found.emplace_back(entry);
        }
    });
    for (const std::string& entry : found) {
        if (lockLeftover(dir.fd(), entry, flags)) {
            remove(entry);
        }
    }
}

} // namespace tarnvex
