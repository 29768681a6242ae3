#pragma once

#include <string_view>

namespace tarnvex {

/// A header value without the blanks (and line ending) around it.
std::string_view trimHeaderValue(std::string_view text);

/// Whether `text` equals `lowerCase` with ASCII letters compared in either case.
bool equalsIgnoringCase(std::string_view text, std::string_view lowerCase);

/// Whether `text` starts with `lowerCasePrefix` with ASCII letters compared in either case.
bool startsWithIgnoringCase(std::string_view text, std::string_view lowerCasePrefix);

} // namespace tarnvex
