#pragma once

#include <string>

namespace tarnvex {

/// What differs between the product and the testbed: where the two resources live and whom to
/// trust for them.
struct InstallerSettings {
    std::string catalogueUrl;
    std::string downloadUrl;
    /// PEM file of trusted roots used instead of the system's; empty for the system's.
    std::string caFile;
    /// A request that receives nothing for this long is given up.
    long stallSeconds = 60;
};

} // namespace tarnvex
