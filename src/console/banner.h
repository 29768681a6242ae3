#pragma once

#include "error.h"
#include "io/buffered_writer.h"

#include <string_view>

namespace tarnvex {

/// major.minor.patch-prerelease+build
inline constexpr std::string_view programVersion = "1.1.2-branch.unix-macos+git.18374812";

/// Writes the ten banner lines; does not flush.
Result<void> writeBanner(BufferedWriter& out);

} // namespace tarnvex
