#pragma once

#include "error.h"

namespace tarnvex {

// A sync that the file system refuses as unsupported (network volumes do) is skipped: there is
// nothing more the run could do for that volume. Any other failure is returned.

/// Puts a file's bytes on disk ahead of its rename. On Apple, where `fsync` keeps neither the
/// bytes nor their order, a barrier (`F_BARRIERFSYNC`) orders them before every later write; a
/// file system without barriers gets `F_FULLFSYNC`.
Result<void> syncFileBeforeRename(int fd);

/// Puts a directory's entries on disk; on Apple only as far as the drive's cache.
Result<void> syncDirectory(int fd);

/// Makes everything synced so far on `fd`'s volume durable: one `F_FULLFSYNC` on Apple, where
/// only that empties the drive's cache. Elsewhere the syncs did that already.
Result<void> flushDrive(int fd);

} // namespace tarnvex
