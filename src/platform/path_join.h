#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace tarnvex {

/// Joins path components with "/", skipping empty ones and never doubling a separator at a seam.
std::string joinPath(std::initializer_list<std::string_view> components);

} // namespace tarnvex
