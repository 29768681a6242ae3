#pragma once

#include "error.h"
#include "platform/directory.h"

#include <functional>
#include <string>

namespace tarnvex {

// A run's hidden work (a temporary, a staging folder) holds an advisory lock for as long as the
// run uses it, so that another run clears away only what a finished or killed run left.

/// Locks `fd`, which this run has just created as `name` in `directoryFd`, waiting while another
/// run's sweep holds it. Fails with `FileNotFound` when that sweep removed it first: the caller
/// makes another. What cannot be locked stays unlocked, and no sweep can lock it either.
Result<void> lockAsOurs(int directoryFd, const std::string& name, int fd);

/// Removes, by `remove` and while holding each one's lock, every entry of `dir` named `prefix`
/// and a random suffix that no run holds: what a finished or killed run left. Each is opened with
/// `flags` to be locked. A volume without locks keeps them all, as a live entry must not be taken
/// for a leftover.
void sweepLeftovers(const Directory& dir, const std::string& prefix, int flags,
                    const std::function<void(const std::string&)>& remove);

} // namespace tarnvex
