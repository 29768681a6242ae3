#include "platform/disk_sync.h"

#include "platform/disk_steps.h"
#include "platform/errno_error.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <unistd.h>

namespace tarnvex {

namespace {

enum class Outcome : std::uint8_t { Done, Unsupported };

bool meansUnsupported(int errnoValue) {
    // ENOTSUP and EOPNOTSUPP are one value on Linux and two on macOS.
    return errnoValue == EINVAL || errnoValue == ENOTSUP || errnoValue == EOPNOTSUPP ||
           errnoValue == ENOSYS;
}

template <typename Sync> Result<Outcome> retried(Sync sync) {
    for (;;) {
        if (sync() == 0) {
            return Outcome::Done;
        }
        const int failure = errno;
        if (meansUnsupported(failure)) {
            return Outcome::Unsupported;
        }
        if (failure != EINTR) {
            return std::unexpected(errorFromErrno(failure));
        }
    }
}

Result<Outcome> plainSync(int fd) {
    return retried([fd] { return ::fsync(fd); });
}

#ifdef __APPLE__
Result<Outcome> fullSync(int fd) {
    return retried([fd] { return ::fcntl(fd, F_FULLFSYNC); });
}
#endif

Result<void> skippingUnsupported(const Result<Outcome>& outcome) {
    if (!outcome) {
        return std::unexpected(outcome.error());
    }
    return {};
}

// A skipped sync is not a step made, so only a sync that was made is recorded.
Result<void> recordedIfMade(const Result<Outcome>& outcome, DiskStep step, int fd) {
    if (outcome && *outcome == Outcome::Done) {
        recordDiskStep(step, fd);
    }
    return skippingUnsupported(outcome);
}

} // namespace

Result<void> syncFileBeforeRename(int fd) {
#ifdef __APPLE__
    auto barrier = retried([fd] { return ::fcntl(fd, F_BARRIERFSYNC); });
    if (barrier && *barrier == Outcome::Unsupported) {
        barrier = fullSync(fd);
    }
    if (barrier && *barrier == Outcome::Unsupported) {
        barrier = plainSync(fd);
    }
    return skippingUnsupported(barrier);
#else
    return skippingUnsupported(plainSync(fd));
#endif
}

Result<void> syncDirectory(int fd) {
    return recordedIfMade(plainSync(fd), DiskStep::DirectorySync, fd);
}

Result<void> flushDrive([[maybe_unused]] int fd) {
#ifdef __APPLE__
    return recordedIfMade(fullSync(fd), DiskStep::DriveFlush, fd);
#else
    return {};
#endif
}

} // namespace tarnvex
