#pragma once

#include "error.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace tarnvex {

/// The steps that decide what a power loss leaves on disk, in the order they are made.
enum class DiskStep : std::uint8_t {
    Write,         ///< bytes written to a file, named by its final name
    FileSync,      ///< a file's bytes ordered or synced before its rename
    Rename,        ///< a temporary renamed to its final name
    DirectorySync, ///< a directory's entries synced
    DriveFlush,    ///< the drive told to write out its cache
};

/// One way to sync: a system call on `fd` that answers as `fsync` does.
using SyncCall = int (*)(int fd);

/// The calls each kind of sync tries in turn. A call that the file system refuses as unsupported
/// (ENOTSUP, EINVAL, ENOSYS, ENOTTY: network and FAT volumes do) falls through to the next; when
/// all are refused the sync is skipped, as there is nothing more the run could do for that
/// volume. Any other failure is the run's.
struct SyncPlan {
    /// Puts a file's bytes on disk ahead of its rename. On Apple, where `fsync` keeps neither the
    /// bytes nor their order, a barrier (`F_BARRIERFSYNC`) orders them before every later write.
    std::span<const SyncCall> file;
    /// Puts a directory's entries on disk; on Apple only as far as the drive's cache.
    std::span<const SyncCall> directory;
    /// Makes everything synced so far on a volume durable: `F_FULLFSYNC` on Apple, where only that
    /// empties the drive's cache; none elsewhere, where the syncs did that already.
    std::span<const SyncCall> drive;
};

/// This system's plan.
const SyncPlan& platformSyncPlan() noexcept;

/// Sees the disk steps of a run, each after it was made; `fd` is the file or directory, `name` a
/// file's final name.
class DiskStepWatcher {
public:
    DiskStepWatcher() = default;
    DiskStepWatcher(const DiskStepWatcher&) = delete;
    DiskStepWatcher& operator=(const DiskStepWatcher&) = delete;
    virtual ~DiskStepWatcher() = default;
    virtual void made(DiskStep step, int fd, std::string_view name) = 0;
};

/// For tests: while it lives, `watcher` sees every step made and syncs follow `plan`, whose calls
/// must outlive it; what was in force before comes back when it goes.
class WatchDiskSteps {
public:
    explicit WatchDiskSteps(DiskStepWatcher& watcher, const SyncPlan& plan = platformSyncPlan());
    WatchDiskSteps(const WatchDiskSteps&) = delete;
    WatchDiskSteps& operator=(const WatchDiskSteps&) = delete;
    ~WatchDiskSteps();

private:
    SyncPlan plan_;
    DiskStepWatcher* previousWatcher_;
    const SyncPlan* previousPlan_;
};

/// Tells the watcher, if any, of a step made elsewhere (a write, a rename).
void recordDiskStep(DiskStep step, int fd, std::string_view name = {}) noexcept;

/// Syncs a file ahead of its rename to `name`.
Result<void> syncFileBeforeRename(int fd, std::string_view name);

Result<void> syncDirectory(int fd);

Result<void> flushDrive(int fd);

} // namespace tarnvex
