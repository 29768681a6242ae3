#pragma once

#include "error.h"
#include "platform/directory.h"
#include "platform/interrupt_cleanup.h"
#include "platform/unique_fd.h"

#include <functional>
#include <string>

namespace tarnvex {

// A run's hidden work (a temporary, a staging folder) holds an advisory lock for as long as the
// run uses it, so that another run clears away only what a finished or killed run left.

/// A hidden entry this run made and holds locked, removed if the run is interrupted while marked.
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

/// Removes, by `remove` and while holding each one's lock, every entry of `dir` named `prefix`
/// and a random suffix that no run holds: what a finished or killed run left. Each is opened with
/// `flags` to be locked. A volume without locks keeps them all, as a live entry must not be taken
/// for a leftover.
void sweepLeftovers(const Directory& dir, const std::string& prefix, int flags,
                    const std::function<void(const std::string&)>& remove);

} // namespace tarnvex
