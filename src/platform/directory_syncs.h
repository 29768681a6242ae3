#pragma once

#include "error.h"
#include "platform/unique_fd.h"

#include <array>
#include <cstddef>
#include <optional>
#include <sys/types.h>

namespace tarnvex {

/// The directories a run touched: those that files were renamed into and the parents of those it
/// created. `syncAll` syncs each of them once, however many files went into it, and then makes
/// the run durable with one flush of the drive; a sync per rename would cost a flush each.
class DirectorySyncs {
public:
    DirectorySyncs() = default;
    DirectorySyncs(const DirectorySyncs&) = delete;
    DirectorySyncs& operator=(const DirectorySyncs&) = delete;
    /// Syncs what is still kept, for a run that failed on the way; failures go unreported.
    ~DirectorySyncs();

    /// Keeps the directory open at `directoryFd` for `syncAll`, unless it is kept already.
    void add(int directoryFd) noexcept;

    /// Syncs every directory kept, flushes the drive and lets them go. Fails with the first
    /// failure met since the last call, here or in `add`.
    [[nodiscard]] Result<void> syncAll() noexcept;

    /// Syncs every directory kept and not synced since it was last added, leaving the flush to
    /// `syncAll`: for entries that must reach the disk ahead of a later step of the run.
    [[nodiscard]] Result<void> syncKept() noexcept;

private:
    void note(const Result<void>& outcome) noexcept;

    struct Kept {
        UniqueFd directory;
        dev_t device = 0;
        ino_t inode = 0;
        bool synced = false;
    };
    // Enough for the directories of one instance; one more is synced as soon as it comes.
    static constexpr std::size_t capacity = 4;
    std::array<Kept, capacity> kept_;
    std::size_t count_ = 0;
    std::optional<Error> failure_;
};

} // namespace tarnvex
