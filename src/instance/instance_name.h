#pragma once

#include <string_view>

namespace tarnvex {

/// Whether a catalogue name can be one directory right below `instances/`: not empty, "." or
/// "..", no "/", and no control byte (which would also break the instance configuration).
bool isValidInstanceName(std::string_view name);

} // namespace tarnvex
