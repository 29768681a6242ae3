#include "platform/directory_syncs.h"

#include "platform/disk_sync.h"
#include "platform/errno_error.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <utility>

namespace tarnvex {

DirectorySyncs::~DirectorySyncs() {
    (void)syncDirectories();
}

void DirectorySyncs::note(const Result<void>& outcome) noexcept {
    if (!outcome && !failure_) {
        failure_ = outcome.error();
    }
}

void DirectorySyncs::add(int directoryFd) noexcept {
    struct stat status = {};
    if (::fstat(directoryFd, &status) != 0) {
        note(std::unexpected(errorFromErrno(errno)));
        return;
    }
    for (std::size_t i = 0; i < count_; ++i) {
        if (kept_[i].device == status.st_dev && kept_[i].inode == status.st_ino) {
            // Changed again since its sync: it needs another.
            kept_[i].synced = false;
            return;
        }
    }
    if (count_ < capacity) {
        UniqueFd copy(::fcntl(directoryFd, F_DUPFD_CLOEXEC, 0));
        if (copy) {
            kept_[count_++] = {std::move(copy), status.st_dev, status.st_ino, false};
            return;
        }
    }
    bool volumeKept = false;
    for (std::size_t i = 0; i < count_; ++i) {
        volumeKept = volumeKept || kept_[i].device == status.st_dev;
    }
    auto synced = syncDirectory(directoryFd);
    // The final flush reaches this volume only through a directory kept on it.
    note(synced && !volumeKept ? flushDrive(directoryFd) : synced);
}

Result<void> DirectorySyncs::syncDirectories() noexcept {
    for (std::size_t i = 0; i < count_; ++i) {
        if (!kept_[i].synced) {
            note(syncDirectory(kept_[i].directory.get()));
            kept_[i].synced = true;
        }
    }
    if (auto failure = std::exchange(failure_, std::nullopt)) {
        return std::unexpected(*failure);
    }
    return {};
}

Result<void> DirectorySyncs::syncAll() noexcept {
    note(syncDirectories());
    // One flush empties the drive's cache of everything synced before it, files and entries.
    for (std::size_t i = 0; i < count_; ++i) {
        bool volumeFlushed = false;
        for (std::size_t j = 0; j < i; ++j) {
            volumeFlushed = volumeFlushed || kept_[j].device == kept_[i].device;
        }
        if (!volumeFlushed) {
            note(flushDrive(kept_[i].directory.get()));
        }
    }
    for (std::size_t i = 0; i < count_; ++i) {
        kept_[i].directory.reset();
    }
    count_ = 0;
    if (auto failure = std::exchange(failure_, std::nullopt)) {
        return std::unexpected(*failure);
    }
    return {};
}

} // namespace tarnvex
