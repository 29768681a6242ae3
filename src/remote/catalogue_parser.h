#pragma once

#include "error.h"
#include "remote/minecraft_server_entry.h"

#include <string_view>
#include <vector>

namespace tarnvex {

/// Parses the catalogue strictly: one JSON array of objects holding exactly the five string
/// members of an entry, in any order; nothing else is accepted.
Result<std::vector<MinecraftServerEntry>> parseCatalogue(std::string_view body);

} // namespace tarnvex
