#include "platform/directory_syncs.h"

#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tarnvex {

DirectorySyncs::~DirectorySyncs() {
    syncAll();
}

void DirectorySyncs::add(UniqueFd directory) noexcept {
    struct stat status = {};
    if (::fstat(directory.get(), &status) == 0) {
        for (std::size_t i = 0; i < count_; ++i) {
            if (kept_[i].device == status.st_dev && kept_[i].inode == status.st_ino) {
                return;
            }
        }
        if (count_ < capacity) {
            kept_[count_++] = {std::move(directory), status.st_dev, status.st_ino};
            return;
        }
    }
    (void)::fsync(directory.get());
}

void DirectorySyncs::syncAll() noexcept {
    for (std::size_t i = 0; i < count_; ++i) {
        (void)::fsync(kept_[i].directory.get());
        kept_[i].directory.reset();
    }
    count_ = 0;
}

} // namespace tarnvex
