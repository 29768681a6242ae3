#include "platform/directory.h"

#include "platform/errno_error.h"
#include "platform/interrupt_cleanup.h"
#include "platform/retry_interrupted.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>

namespace tarnvex {

namespace {

Result<UniqueFd> openDirectoryAt(int base, const char* path, int flags = 0) {
    const int fd = retryInterrupted(
        [&] { return ::openat(base, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC | flags); });
    if (fd < 0) {
        return std::unexpected(errorFromErrno(errno));
    }
    return UniqueFd(fd);
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

} // namespace

Result<Directory> Directory::open(const std::string& path) {
    auto fd = openDirectoryAt(AT_FDCWD, path.c_str());
    if (!fd) {
        return std::unexpected(fd.error());
    }
    return Directory(std::move(*fd));
}

Result<Directory> Directory::openChild(const std::string& relativePath) const {
    auto fd = openDirectoryAt(fd_.get(), relativePath.c_str());
    if (!fd) {
        return std::unexpected(fd.error());
    }
    Directory child(std::move(*fd));
    child.removalOnInterrupt_ = removalOnInterrupt_;
    return child;
}

Result<Directory> Directory::openChildNoFollow(const std::string& name) const {
    // Non-blocking, so that a FIFO planted under the name cannot stall the open.
    auto fd = openDirectoryAt(fd_.get(), name.c_str(), O_NOFOLLOW | O_NONBLOCK);
    if (!fd) {
        return std::unexpected(fd.error());
    }
    return Directory(std::move(*fd));
}

Result<void> Directory::makeChild(const std::string& relativePath, mode_t mode) const {
    // Marked first, so that no interruption falls between; in a folder built out of sight,
    // whatever stands under the name is the run's own.
    if (removalOnInterrupt_ != nullptr) {
        removalOnInterrupt_->mark(fd_.get(), relativePath, EntryKind::Directory);
    }
    if (::mkdirat(fd_.get(), relativePath.c_str(), mode) != 0) {
        return std::unexpected(errorFromErrno(errno));
    }
    return {};
}

Result<bool> Directory::resolves(const std::string& name) const {
    struct stat status = {};
    if (::fstatat(fd_.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
        return true;
    }
    if (errno == ENOENT) {
        return false;
    }
    return std::unexpected(errorFromErrno(errno));
}

Result<void> Directory::forEachEntry(const std::function<void(std::string_view)>& visit) const {
    // A separate descriptor gives each scan its own position, starting at the beginning.
    auto scanFd = openDirectoryAt(fd_.get(), ".");
    if (!scanFd) {
        return std::unexpected(scanFd.error());
    }
    std::unique_ptr<DIR, DirCloser> dir(::fdopendir(scanFd->get()));
    if (!dir) {
        return std::unexpected(errorFromErrno(errno));
    }
    // The stream owns the descriptor from here on.
    (void)scanFd->release();
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (entry == nullptr) {
            if (errno != 0) {
                return std::unexpected(errorFromErrno(errno));
            }
            return {};
        }
        const std::string_view name(entry->d_name);
        if (name != "." && name != "..") {
            visit(name);
        }
    }
}

} // namespace tarnvex
