#pragma once

#include "error.h"
#include "platform/unique_fd.h"

#include <optional>
#include <string>

namespace tarnvex {

// A run's hidden work (a temporary, a staging folder) holds an advisory lock for as long as the
// run uses it, so that another run clears away only what a finished or killed run left.

/// Locks `fd`, which this run has just created as `name` in `directoryFd`, waiting while another
/// run's sweep holds it. Fails with `FileNotFound` when that sweep removed it first: the caller
/// makes another. A volume without locks leaves it unlocked.
Result<void> lockAsOurs(int directoryFd, const std::string& name, int fd);

/// Opens `name` in `directoryFd` with `flags` and locks it without waiting: the locked descriptor
/// when no run holds it and the name is still that entry, else nothing. A volume without locks
/// gives nothing too, as a live entry must not be taken for a leftover.
std::optional<UniqueFd> lockLeftover(int directoryFd, const std::string& name, int flags);

} // namespace tarnvex
