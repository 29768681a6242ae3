#pragma once

#include "error.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tarnvex {

/// An absolute "https" URL, split into its parts.
struct Url {
    std::string scheme;
    /// A registered name or a bracketed IP literal, as written.
    std::string host;
    std::uint16_t port = 443;
    /// "/" when the URL has none.
    std::string path;
    /// Without the "?"; empty when the URL has none.
    std::string query;
};

/// Splits `text`. A byte that no URL may hold fails with `UnexpectedCharacter`; a URL that is
/// not an absolute "https" URL of a host (optional port, path, query) fails with `InvalidFormat`.
Result<Url> parseUrl(std::string_view text);

} // namespace tarnvex
