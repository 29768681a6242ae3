#pragma once

#include "error.h"
#include "platform/directory.h"
#include "platform/directory_syncs.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace tarnvex {

/// The folder of the instance directory that holds the game's own files.
inline constexpr std::string_view minecraftFolderName = "minecraft";

/// The longest address the 16-bit length of an NBT string can hold.
inline constexpr std::size_t maxServerAddressBytes = 65535;

/// The game's server list holding one shown entry, "The Gable Fields" at `address`: uncompressed
/// NBT, 62 bytes plus the address. `address` must be at most `maxServerAddressBytes` long.
std::string serversDatBytes(std::string_view address);

/// Writes `minecraft/servers.dat` below the instance directory, creating `minecraft` if needed
/// and replacing any earlier list. An address too long for the format is refused with
/// `ServerAddressTooLong` before the file is touched. `minecraft` is left to `touched` to sync.
Result<void> writeServersDat(const Directory& instanceDirectory, std::string_view address,
                             DirectorySyncs& touched);

} // namespace tarnvex
