#pragma once

#include "error.h"
#include "platform/directory.h"
#include "platform/directory_syncs.h"

#include <string_view>

namespace tarnvex {

/// Opens the directory at `relativePath` below `base`, first creating it and every missing parent
/// with mode 0755 (before the umask). Parents that already exist, or that appear meanwhile, are
/// fine. The parent of each directory created goes to `touched`, whose sync makes the new entry
/// durable. A path longer than 1023 bytes fails with `NameTooLong`.
Result<Directory> makeOpenDir(const Directory& base, std::string_view relativePath,
                              DirectorySyncs& touched);

} // namespace tarnvex
