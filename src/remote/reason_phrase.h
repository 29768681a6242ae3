#pragma once

#include <optional>
#include <string_view>

namespace tarnvex {

/// The registered reason phrase of an HTTP status code, or none for a code that has no
/// registered phrase.
std::optional<std::string_view> reasonPhrase(int status);

} // namespace tarnvex
