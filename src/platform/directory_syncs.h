#pragma once

#include "platform/unique_fd.h"

#include <array>
#include <cstddef>
#include <sys/types.h>

namespace tarnvex {

/// Directories in which files were renamed into place, synced together so that the renames are
/// on disk: once each, however many files went into one directory, and at the latest when this
/// goes. Each sync makes the disk flush its cache, so one per rename would cost a flush each.
class DirectorySyncs {
public:
    DirectorySyncs() = default;
    DirectorySyncs(const DirectorySyncs&) = delete;
    DirectorySyncs& operator=(const DirectorySyncs&) = delete;
    ~DirectorySyncs();

    /// Keeps `directory` for `syncAll`, unless the same directory is kept already.
    void add(UniqueFd directory) noexcept;

    /// Syncs every directory kept and lets them go. A failure is not reported: the renamed files
    /// are in place either way, only perhaps not yet on disk.
    void syncAll() noexcept;

private:
    struct Kept {
        UniqueFd directory;
        dev_t device = 0;
        ino_t inode = 0;
    };
    // Enough for the directories of one instance; one more is synced as soon as it comes.
    static constexpr std::size_t capacity = 4;
    std::array<Kept, capacity> kept_;
    std::size_t count_ = 0;
};

} // namespace tarnvex
