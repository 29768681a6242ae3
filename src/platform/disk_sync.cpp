#include "platform/disk_sync.h"

#include "platform/errno_error.h"
#include "platform/retry_interrupted.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tarnvex {

namespace {

bool meansUnsupported(int errnoValue) {
    // ENOTSUP and EOPNOTSUPP are one value on Linux and two on macOS; Apple's NFS, SMB and FAT
    // drivers answer the fcntl syncs with ENOTTY.
    return errnoValue == EINVAL || errnoValue == ENOTSUP || errnoValue == EOPNOTSUPP ||
           errnoValue == ENOSYS || errnoValue == ENOTTY;
}

int plainSync(int fd) {
    return ::fsync(fd);
}

#ifdef __APPLE__
int barrierSync(int fd) {
    return ::fcntl(fd, F_BARRIERFSYNC);
}

int fullSync(int fd) {
    return ::fcntl(fd, F_FULLFSYNC);
}

constexpr std::array<SyncCall, 3> fileCalls = {barrierSync, fullSync, plainSync};
constexpr std::array<SyncCall, 1> driveCalls = {fullSync};
#else
constexpr std::array<SyncCall, 1> fileCalls = {plainSync};
constexpr std::array<SyncCall, 0> driveCalls = {};
#endif
constexpr std::array<SyncCall, 1> directoryCalls = {plainSync};

constexpr SyncPlan platformPlan = {fileCalls, directoryCalls, driveCalls};

DiskStepWatcher* currentWatcher = nullptr;
const SyncPlan* currentPlan = &platformPlan;

// Only a sync that was made is a step: a skipped one is not recorded.
Result<void> syncThrough(std::span<const SyncCall> calls, DiskStep step, int fd,
                         std::string_view name = {}) {
    for (const SyncCall call : calls) {
        if (retryInterrupted([call, fd] { return call(fd); }) == 0) {
            recordDiskStep(step, fd, name);
            return {};
        }
        if (const int failure = errno; !meansUnsupported(failure)) {
            return std::unexpected(errorFromErrno(failure));
        }
    }
    return {};
}

} // namespace

const SyncPlan& platformSyncPlan() noexcept {
    return platformPlan;
}

WatchDiskSteps::WatchDiskSteps(DiskStepWatcher& watcher, const SyncPlan& plan)
    : plan_(plan), previousWatcher_(currentWatcher), previousPlan_(currentPlan) {
    currentWatcher = &watcher;
    currentPlan = &plan_;
}

WatchDiskSteps::~WatchDiskSteps() {
    currentWatcher = previousWatcher_;
    currentPlan = previousPlan_;
}

void recordDiskStep(DiskStep step, int fd, std::string_view name) noexcept {
    if (currentWatcher != nullptr) {
        currentWatcher->made(step, fd, name);
    }
}

Result<void> syncFileBeforeRename(int fd, std::string_view name) {
    return syncThrough(currentPlan->file, DiskStep::FileSync, fd, name);
}

Result<void> syncDirectory(int fd) {
    return syncThrough(currentPlan->directory, DiskStep::DirectorySync, fd);
}

Result<void> flushDrive(int fd) {
    return syncThrough(currentPlan->drive, DiskStep::DriveFlush, fd);
}

} // namespace tarnvex
