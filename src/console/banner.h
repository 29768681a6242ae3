#pragma once

#include "error.h"
#include "io/buffered_writer.h"

namespace tarnvex {

/// Writes the ten banner lines; does not flush.
Result<void> writeBanner(BufferedWriter& out);

} // namespace tarnvex
