#pragma once

#include "platform/directory.h"

#include <string>

namespace tarnvex {

/// Removes `name` in `parent` with everything below it, following no symbolic link. Best effort:
/// what cannot be removed stays.
void removeTree(const Directory& parent, const std::string& name);

} // namespace tarnvex
