#pragma once

#include "error.h"

namespace tarnvex {

/// The error name for a file-system errno value.
Error errorFromErrno(int errnoValue);

} // namespace tarnvex
