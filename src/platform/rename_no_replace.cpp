#include "platform/rename_no_replace.h"

#include "platform/errno_error.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>

namespace tarnvex {

namespace {

Error renameError(int errnoValue) {
    // A directory in the way answers EEXIST or ENOTEMPTY.
    return errnoValue == ENOTEMPTY ? Error::PathAlreadyExists : errorFromErrno(errnoValue);
}

// Plain rename replaces an empty directory, never one that holds anything: after the look, only
// an empty folder made in the moment before the rename could be replaced, and nothing is lost.
Result<void> renameAfterLooking(int fromDirectory, const std::string& from, int toDirectory,
                                const std::string& to) {
    struct stat status = {};
    if (::fstatat(toDirectory, to.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
        return std::unexpected(Error::PathAlreadyExists);
    }
    if (errno != ENOENT) {
        return std::unexpected(errorFromErrno(errno));
    }
    if (::renameat(fromDirectory, from.c_str(), toDirectory, to.c_str()) != 0) {
        return std::unexpected(renameError(errno));
    }
    return {};
}

} // namespace

Result<void> renameNoReplace(int fromDirectory, const std::string& from, int toDirectory,
                             const std::string& to) {
#if defined(__linux__) && defined(_GNU_SOURCE)
    if (::renameat2(fromDirectory, from.c_str(), toDirectory, to.c_str(), RENAME_NOREPLACE) == 0) {
        return {};
    }
    // File systems without the flag answer EINVAL.
    if (errno != EINVAL && errno != ENOSYS) {
        return std::unexpected(renameError(errno));
    }
#elif defined(__APPLE__)
    if (::renameatx_np(fromDirectory, from.c_str(), toDirectory, to.c_str(), RENAME_EXCL) == 0) {
        return {};
    }
    if (errno != ENOTSUP) {
        return std::unexpected(renameError(errno));
    }
#endif
    return renameAfterLooking(fromDirectory, from, toDirectory, to);
}

} // namespace tarnvex
