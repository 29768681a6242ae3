#pragma once

#include "error.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tarnvex {

/// What a record tells of the process that wrote it.
enum class OwnerState : std::uint8_t {
    Alive,   ///< running on this machine now
    Gone,    ///< ended: its id is free or another process's, or the machine has restarted since
    Unknown, ///< another machine's, unreadable, or not to be told here
};

/// A few lines naming this process so that another process can tell whether it still runs: the
/// machine, its boot, the process id and that process's start time, which tells a reused id apart.
/// Where this system cannot name its machine, the record says so and is never taken for gone.
std::string ownerRecordOfThisProcess();

/// What `record`, written by `ownerRecordOfThisProcess` of some run, tells of that run.
OwnerState ownerStateOf(std::string_view record);

/// Writes this process's record as the new file `name` in `directoryFd` and syncs it, as a file is
/// synced before its rename; the directory is the caller's to sync.
Result<void> writeOwnerRecord(int directoryFd, const std::string& name);

/// What the record `name` in `directoryFd` tells; `Unknown` where there is none to read.
OwnerState ownerStateOfRecord(int directoryFd, const std::string& name);

} // namespace tarnvex
