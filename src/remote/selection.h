#pragma once

#include "error.h"
#include "io/buffered_reader.h"
#include "io/buffered_writer.h"
#include "platform/directory.h"
#include "remote/minecraft_server_entry.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarnvex {

struct Selection {
    enum class Outcome : std::uint8_t {
        /// `entry` is the player's choice, a new instance.
        Chosen,
        /// `entry` is the player's choice, an instance that exists, to be overwritten.
        Overwrite,
        /// The catalogue is empty.
        NothingToDo,
        /// The player chose to quit.
        Quit,
    };
    Outcome outcome;
    const MinecraftServerEntry* entry;
    /// The launcher's open instance folder.
    Directory instances;
};

/// Whether `name` resolves below `instances` as the file system compares names.
using NameResolves = Result<bool> (*)(const Directory& instances, const std::string& name);

/// The file system's own answer.
Result<bool> nameResolvesOnDisk(const Directory& instances, const std::string& name);

/// Shows the catalogue as a numbered menu and reads the player's choice; an instance that
/// already exists leads to a menu of going back, overwriting or quitting. An instance exists when
/// an entry of `instances`, the launcher's instance folder, has its name byte for byte, or else
/// when `resolves` finds it. The selection holds `instances` from then on.
Result<Selection> selectServerInstance(const std::vector<MinecraftServerEntry>& catalogue,
                                       Directory instances, BufferedReader& in, BufferedWriter& out,
                                       NameResolves resolves = &nameResolvesOnDisk);

} // namespace tarnvex
