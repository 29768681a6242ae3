#pragma once

#include "error.h"
#include "platform/directory.h"
#include "platform/directory_syncs.h"
#include "remote/minecraft_server_entry.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tarnvex {

/// The game's major version: the number between the first and the second dot (20 for 1.20.1),
/// parsed like a number typed at a prompt. No dot, an empty field or a non-digit fail with
/// `InvalidCharacter`, a value above 255 with `Overflow`.
Result<std::uint8_t> versionExtractMajor(std::string_view version);

/// The component pack of a "fabric" or "forge" entry as the launcher reads it. Any other loader
/// is logged and refused with `InvalidModLoader`; a bad version fails as `versionExtractMajor`.
Result<std::string> mmcPackText(const MinecraftServerEntry& entry);

/// Writes `mmc-pack.json` in the instance directory, which is left to `touched` to sync. A refused
/// entry leaves any earlier file as it was and creates nothing.
Result<void> writeMmcPack(const Directory& instanceDirectory, const MinecraftServerEntry& entry,
                          DirectorySyncs& touched);

} // namespace tarnvex
