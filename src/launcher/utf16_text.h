#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarnvex {

/// Appends UTF-8 `bytes` to `text` as UTF-16; false where they are not well-formed (overlong,
/// surrogates, past U+10FFFF, cut short), with `text` then partly extended.
bool appendUtf8AsUtf16(std::string_view bytes, std::u16string& text);

/// `text` in UTF-8; none where it holds a lone surrogate.
std::optional<std::string> utf16AsUtf8(std::u16string_view text);

} // namespace tarnvex
