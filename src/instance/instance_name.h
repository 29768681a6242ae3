#pragma once

#include <string_view>

namespace tarnvex {

/// The start of the names the installer gives its own work in `instances/`.
inline constexpr std::string_view reservedNamePrefix = ".tarnvex-";

/// Whether a catalogue name can be one directory right below `instances/`: not empty, "." or
/// "..", no "/", no control byte (which would also break the instance configuration), and not
/// starting with `reservedNamePrefix` in any letter case.
bool isValidInstanceName(std::string_view name);

} // namespace tarnvex
