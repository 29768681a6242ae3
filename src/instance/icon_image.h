#pragma once

#include <cstddef>
#include <span>

namespace tarnvex {

/// The instance icon, a 256 x 256 PNG carried inside the program.
std::span<const std::byte> iconImage();

} // namespace tarnvex
