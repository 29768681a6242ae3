#pragma once

#include "platform/directory.h"

namespace tarnvex {

/// Clears away the temporaries that runs which ended left in every instance folder of
/// `instances` and in its `minecraft` folder, the folders the installer writes into, under the
/// rules of `sweepTemporaries`. A folder reached through a link, and the installer's own hidden
/// folders, are not looked into; each folder is listed once.
void sweepInstanceTemporaries(const Directory& instances);

} // namespace tarnvex
