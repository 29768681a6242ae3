#pragma once

#include "error.h"
#include "installer_settings.h"

#include <cstddef>
#include <string>

namespace tarnvex {

/// The largest decoded catalogue body accepted.
inline constexpr std::size_t maximumCatalogueSize = std::size_t{16} * 1024 * 1024;

/// GETs the catalogue with a client of its own and returns the whole decoded body of a 200
/// response. Any other status is logged with its reason phrase and fails with `NetworkError`,
/// but only once the body has been read to its end.
Result<std::string> fetchCatalogue(const InstallerSettings& settings);

} // namespace tarnvex
