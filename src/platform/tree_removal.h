#pragma once

#include "error.h"
#include "platform/directory.h"

#include <string>

namespace tarnvex {

/// Removes the directory `name` of `parent`, open at `opened`, with everything below it, as
/// `rm -rf` would, walking down from `opened` without looking its name up again: a symbolic link
/// goes as itself and is never followed, and no mount point is entered, also not one of the same
/// file system (a bind mount). What cannot be removed stays; the first failure met is returned.
Result<void> removeTree(const Directory& parent, const std::string& name, const Directory& opened);

} // namespace tarnvex
