#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarnvex {

inline constexpr std::size_t randomSuffixLength = 6;

/// Letters and digits that make a hidden name of this run unlikely to meet another's; the name's
/// creation (O_EXCL, mkdir) is what makes it safe.
std::string randomSuffix();

/// Whether `text` has the shape of a `randomSuffix`.
bool isRandomSuffix(std::string_view text);

} // namespace tarnvex
