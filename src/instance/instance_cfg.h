#pragma once

#include "error.h"
#include "platform/directory.h"
#include "platform/directory_syncs.h"

#include <string>
#include <string_view>

namespace tarnvex {

/// The name the sync client is stored under in the instance directory; the launcher runs it
/// before every game start.
inline constexpr std::string_view syncClientFileName = "tarnvex_client-aarch64-macos";

/// The instance configuration for an instance called `name`: ten lines, 208 bytes plus the name.
/// A name the launcher's settings reader would change (one holding `"`, `\`, `,` or `;`, or with
/// a blank at either end) is written in double quotes with `\` and `"` escaped, and so reads back
/// exactly.
std::string instanceCfgText(std::string_view name);

/// Writes `instance.cfg` in the instance directory, replacing any earlier one; the directory is
/// left to `touched` to sync.
Result<void> writeInstanceCfg(const Directory& instanceDirectory, std::string_view name,
                              DirectorySyncs& touched);

} // namespace tarnvex
