#pragma once

#include "error.h"
#include "installer_settings.h"
#include "io/buffered_reader.h"
#include "io/buffered_writer.h"

#include <cstdint>

namespace tarnvex {

enum class InstanceOutcome : std::uint8_t {
    /// The instance was written, or there was nothing to do.
    Done,
    /// The player chose to quit: the run ends at once.
    Quit,
};

/// The one operation of the installer: find the launcher, let the player pick a server instance
/// and write it.
Result<InstanceOutcome> addInstance(const InstallerSettings& settings, BufferedReader& in,
                                    BufferedWriter& out);

} // namespace tarnvex
