#pragma once

#include "installer_settings.h"

namespace tarnvex {

/// The whole run: banner, addInstance, the farewell prompt. Returns the exit status.
int runInstaller(const InstallerSettings& settings);

} // namespace tarnvex
