#include "platform/ownership_lock.h"

#include "platform/errno_error.h"
#include "platform/random_suffix.h"
#include "platform/retry_interrupted.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tarnvex {

namespace {

constexpr int attemptsAtAFreeName = 100;
// A sweep holds a leftover only while it removes it; a run waits this long for its own new entry.
constexpr int lockTries = 200;
constexpr std::chrono::milliseconds lockRetryPause{10};

enum class LockOutcome : std::uint8_t { Held, Busy, Unsupported, Failed };

// A volume without locks answers so for any run's lock, and NFS, which emulates them with
// byte-range locks, refuses an exclusive one on a descriptor opened read-only.
bool meansNoLocks(int errnoValue) {
    return errnoValue == ENOTSUP || errnoValue == EOPNOTSUPP || errnoValue == ENOSYS ||
           errnoValue == EINVAL || errnoValue == EBADF;
}

LockOutcome tryLock(int fd) {
    if (retryInterrupted([&] { return ::flock(fd, LOCK_EX | LOCK_NB); }) == 0) {
        return LockOutcome::Held;
    }
    if (errno == EWOULDBLOCK) {
        return LockOutcome::Busy;
    }
    return meansNoLocks(errno) ? LockOutcome::Unsupported : LockOutcome::Failed;
}

// Whether `name` still names the file open at `fd`: a sweep may have removed it, and another
// entry may have taken its name since.
Result<bool> stillNamed(int directoryFd, const std::string& name, int fd) {
    struct stat opened = {};
    struct stat named = {};
    if (::fstat(fd, &opened) != 0) {
        return std::unexpected(errorFromErrno(errno));
    }
    if (::fstatat(directoryFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) {
            return false;
        }
        return std::unexpected(errorFromErrno(errno));
    }
    return opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

// Locks `fd`, which this run has just made as `name`, waiting a little while another run's sweep
// holds it. Fails with `FileNotFound` when that sweep removed it first. What cannot be locked
// stays unlocked, and no sweep can lock it either.
Result<void> lockAsOurs(int directoryFd, const std::string& name, int fd) {
    for (int tries = 0;; ++tries) {
        const LockOutcome outcome = tryLock(fd);
        if (outcome == LockOutcome::Unsupported) {
            return {};
        }
        if (outcome == LockOutcome::Failed) {
            return std::unexpected(errorFromErrno(errno));
        }
        if (outcome == LockOutcome::Held) {
            break;
        }
        if (tries == lockTries) {
            return std::unexpected(Error::FileLockTimedOut);
        }
        std::this_thread::sleep_for(lockRetryPause);
    }
    // Between the creation and this lock, a sweep may have locked the new entry and removed it;
    // it is ours only if it is still there now that we hold the lock.
    auto named = stillNamed(directoryFd, name, fd);
    if (!named) {
        return std::unexpected(named.error());
    }
    if (!*named) {
        return std::unexpected(Error::FileNotFound);
    }
    return {};
}

std::optional<UniqueFd> lockLeftover(int directoryFd, const std::string& name, int flags) {
    // Non-blocking, so that a FIFO planted under such a name cannot stall the open.
    UniqueFd fd(::openat(directoryFd, name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    // Whatever cannot be locked may be a live run's.
    if (!fd || tryLock(fd.get()) != LockOutcome::Held) {
        return std::nullopt;
    }
    auto named = stillNamed(directoryFd, name, fd.get());
    if (!named || !*named) {
        return std::nullopt;
    }
    return fd;
}

} // namespace

Result<OwnedEntry> makeOwnedEntry(int directoryFd, const std::string& prefix, EntryKind kind,
                                  const std::function<Result<UniqueFd>(const std::string&)>& make) {
    for (int attempt = 0; attempt < attemptsAtAFreeName; ++attempt) {
        OwnedEntry entry{prefix + randomSuffix(), {}, {}};
        {
            const InterruptionsDeferred deferred;
            auto made = make(entry.name);
            if (!made) {
                if (made.error() == Error::PathAlreadyExists) {
                    continue;
                }
                return std::unexpected(made.error());
            }
            entry.fd = std::move(*made);
            entry.removal = RemovalOnInterrupt(directoryFd, entry.name, kind,
                                               kind == EntryKind::File ? entry.fd.get() : -1);
        }
        auto locked = lockAsOurs(directoryFd, entry.name, entry.fd.get());
        if (locked) {
            return entry;
        }
        // Swept away before the lock: the name, unmarked with the entry, is no longer ours.
        if (locked.error() == Error::FileNotFound) {
            continue;
        }
        (void)::unlinkat(directoryFd, entry.name.c_str(),
                         kind == EntryKind::Directory ? AT_REMOVEDIR : 0);
        return std::unexpected(locked.error());
    }
    return std::unexpected(Error::PathAlreadyExists);
}

void sweepLeftovers(const Directory& dir, const std::string& prefix, int flags,
                    const std::function<void(const std::string&)>& remove) {
    std::vector<std::string> found;
    (void)dir.forEachEntry([&](std::string_view entry) {
        if (entry.size() == prefix.size() + randomSuffixLength && entry.starts_with(prefix)) {
            found.emplace_back(entry);
        }
    });
    for (const std::string& entry : found) {
        // Held until the removal is done, so that no run that is just making this name can take
        // it for its own meanwhile.
        if (const auto held = lockLeftover(dir.fd(), entry, flags); held) {
            remove(entry);
        }
    }
}

} // namespace tarnvex
