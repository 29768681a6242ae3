#pragma once

#include "error.h"
#include "platform/unique_fd.h"

#include <array>
#include <cstddef>
#include <optional>
#include <sys/types.h>

namespace tarnvex {

/// The directories a run touched: those that files were renamed into and the parents of those it
/// created. Each is synced once, however many files went into it, and the run is made durable
/// with one flush of the drive at its end; a sync per rename would cost a flush each.
class DirectorySyncs {
public:
    DirectorySyncs() = default;
    DirectorySyncs(const DirectorySyncs&) = delete;
    DirectorySyncs& operator=(const DirectorySyncs&) = delete;
    /// Syncs what is still unsynced, for a run that failed on the way; failures go unreported and
    /// the drive is not flushed, as such a run promises nothing.
    ~DirectorySyncs();

    /// Keeps the directory open at `directoryFd` to be synced, unless it is kept and unsynced
    /// already.
    void add(int directoryFd) noexcept;

    /// Syncs every directory kept and not yet synced. Fails with the first failure met since the
    /// last call, here or in `add`.
    [[nodiscard]] Result<void> syncDirectories() noexcept;

    /// Syncs what is left, then flushes the drive of each volume touched once: the end of a run.
    [[nodiscard]] Result<void> syncAll() noexcept;

private:
    void note(const Result<void>& outcome) noexcept;

    struct Kept {
        UniqueFd directory;
        dev_t device = 0;
        ino_t inode = 0;
        bool synced = false;
    };
    // Enough for the directories of one run; one more is synced, and its drive flushed, as soon
    // as it comes.
    static constexpr std::size_t capacity = 8;
    std::array<Kept, capacity> kept_;
    std::size_t count_ = 0;
    std::optional<Error> failure_;
};

} // namespace tarnvex
