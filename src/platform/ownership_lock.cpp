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

enum class LockOutcome : std::uint8_t { Held, Busy, Unavailable };

LockCall currentLockCall = ::flock;
// Set once a new entry of this run stayed "held" for the whole wait: a sweep holds only what it
// is removing, and a new entry is empty, so the volume's answer means nothing, and later entries
// do not wait for it.
bool busyMeansNothing = false;

LockOutcome tryLock(int fd, int operation) {
    if (retryInterrupted([&] { return currentLockCall(fd, operation | LOCK_NB); }) == 0) {
        return LockOutcome::Held;
    }
    // Linux's CIFS client answers a conflict with EACCES.
    if (errno == EWOULDBLOCK || errno == EACCES) {
        return LockOutcome::Busy;
    }
    // Unsupported (NFS refuses an exclusive lock on a descriptor opened read-only), no lock
    // daemon (ENOLCK), or any other failure: nothing is known of other runs.
    return LockOutcome::Unavailable;
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
// holds it. Fails with `FileNotFound` when that sweep removed it first. Whatever else the lock
// answers, the entry stays this run's, unlocked: a sweep removes nothing it cannot lock unless
// its run is known to be gone.
Result<void> lockAsOurs(int directoryFd, const std::string& name, int fd) {
    for (int tries = 0; !busyMeansNothing && tryLock(fd, LOCK_EX) == LockOutcome::Busy; ++tries) {
        if (tries == lockTries) {
            busyMeansNothing = true;
            break;
        }
        std::this_thread::sleep_for(lockRetryPause);
    }
    // Between the creation and this lock, a sweep may have locked the new entry and removed it;
    // it is ours only if it is still there now.
    auto named = stillNamed(directoryFd, name, fd);
    if (!named) {
        return std::unexpected(named.error());
    }
    if (!*named) {
        return std::unexpected(Error::FileNotFound);
    }
    return {};
}

// The leftover `name`, opened and locked, where it is one to remove.
std::optional<UniqueFd> holdLeftover(int directoryFd, const std::string& name, EntryKind kind,
                                     const std::function<OwnerState(int)>& ownerOf) {
    // For reading, which any leftover allows (a temporary left read-only too); non-blocking, so
    // that a FIFO planted under such a name cannot stall the open.
    const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC |
                      (kind == EntryKind::Directory ? O_DIRECTORY : 0);
    UniqueFd fd(retryInterrupted([&] { return ::openat(directoryFd, name.c_str(), flags); }));
    struct stat status = {};
    if (!fd || ::fstat(fd.get(), &status) != 0 ||
        (kind == EntryKind::File && !S_ISREG(status.st_mode))) {
        return std::nullopt;
    }
    // A shared lock keeps an owner's exclusive one out just as well, and NFS gives it on a
    // descriptor opened for reading.
    const LockOutcome locked = tryLock(fd.get(), LOCK_SH);
    if (locked == LockOutcome::Busy) {
        return std::nullopt;
    }
    // A run known to be alive keeps its entry even where the lock was free: it may have gone on
    // without one.
    const OwnerState owner = ownerOf ? ownerOf(fd.get()) : OwnerState::Unknown;
    if (owner == OwnerState::Alive || (locked != LockOutcome::Held && owner != OwnerState::Gone)) {
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

void sweepLeftovers(const Directory& dir, EntryKind kind,
                    const std::function<bool(std::string_view)>& isLeftover,
                    const std::function<void(const std::string&, UniqueFd)>& remove,
                    const std::function<OwnerState(int)>& ownerOf) {
    std::vector<std::string> found;
    (void)dir.forEachEntry([&](std::string_view entry) {
        if (isLeftover(entry)) {
            found.emplace_back(entry);
        }
    });
    for (const std::string& entry : found) {
        // Held until the removal is done, so that no run that is just making this name can take
        // it for its own meanwhile.
        if (auto held = holdLeftover(dir.fd(), entry, kind, ownerOf); held) {
            remove(entry, std::move(*held));
        }
    }
}

LocksThrough::LocksThrough(LockCall call) : previous_(currentLockCall) {
    currentLockCall = call;
    busyMeansNothing = false;
}

LocksThrough::~LocksThrough() {
    currentLockCall = previous_;
    busyMeansNothing = false;
}

} // namespace tarnvex
