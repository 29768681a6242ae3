#pragma once

#include "error.h"

#include <string>

namespace tarnvex {

/// Renames `from` in `fromDirectory` to `to` in `toDirectory` unless an entry of that name is
/// there, as the file system compares names: then fails with `PathAlreadyExists`.
Result<void> renameNoReplace(int fromDirectory, const std::string& from, int toDirectory,
                             const std::string& to);

} // namespace tarnvex
