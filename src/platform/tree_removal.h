#pragma once

#include "error.h"
#include "platform/directory.h"

#include <string>

namespace tarnvex {

/// Removes `name` in `parent` with everything below it, as `rm -rf` would: a symbolic link goes as
/// itself and is never followed, and nothing on another volume (a mount inside) is entered. What
/// cannot be removed stays; the first failure met is returned.
Result<void> removeTree(const Directory& parent, const std::string& name);

} // namespace tarnvex
