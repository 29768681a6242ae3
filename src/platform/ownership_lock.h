#pragma once

#include "error.h"
#include "platform/directory.h"
#include "platform/interrupt_cleanup.h"
#include "platform/owner_record.h"
#include "platform/unique_fd.h"

#include <functional>
#include <string>
#include <string_view>

namespace tarnvex {

// A run's hidden work (a temporary, a staging folder) holds an advisory lock for as long as the
// run uses it, so that another run clears away only what a finished or killed run left. Only the
// sweep needs the lock: where the volume gives none, the owner goes on without it, and the sweep
// leaves what it cannot lock.

/// A hidden entry this run made and holds (locked where the volume allows), removed if the run is
/// interrupted while marked.
struct OwnedEntry {
    std::string name;
    UniqueFd fd;
    RemovalOnInterrupt removal;
};

/// Makes a new entry in `directoryFd` named `prefix` and a random suffix, through `make`, which
/// creates that name exclusively and opens it (`PathAlreadyExists` where the name is taken), then
/// locks it as this run's. Another name is tried where one is taken or another run's sweep
/// removed the new entry first. `directoryFd` must stay open while the entry is marked.
Result<OwnedEntry> makeOwnedEntry(int directoryFd, const std::string& prefix, EntryKind kind,
                                  const std::function<Result<UniqueFd>(const std::string&)>& make);

/// Removes, by `remove`, every entry of `dir` of the kind `kind` whose name `isLeftover` takes for
/// a run's hidden work and that no run holds: what a finished or killed run left. `remove` gets
/// the name and the descriptor, opened for reading, whose lock it holds until it returns. Where
/// an entry cannot be locked, `ownerOf` (when given) reads from that descriptor whether its run is
/// gone; one held by a run, or whose run is not known to be gone, stays. `dir` is listed once.
void sweepLeftovers(const Directory& dir, EntryKind kind,
                    const std::function<bool(std::string_view)>& isLeftover,
                    const std::function<void(const std::string&, UniqueFd)>& remove,
                    const std::function<OwnerState(int)>& ownerOf = {});

/// One way to lock: a call that answers as `flock` does.
using LockCall = int (*)(int fd, int operation);

/// For tests: while it lives, every lock is taken through `call`, which must outlive it; what was
/// in force before comes back when it goes.
class LocksThrough {
public:
    explicit LocksThrough(LockCall call);
    LocksThrough(const LocksThrough&) = delete;
    LocksThrough& operator=(const LocksThrough&) = delete;
    ~LocksThrough();

private:
    LockCall previous_;
};

} // namespace tarnvex
