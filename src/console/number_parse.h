#pragma once

#include <cstdint>
#include <string_view>

namespace tarnvex {

/// What a line typed at a numbered prompt turned out to be.
struct SmallNumber {
    enum class Kind : std::uint8_t { Number, NotANumber, TooLarge };
    Kind kind;
    std::uint8_t value;
};

/// Parses the whole text as a decimal number from 0 to 255: one optional sign, digits with
/// underscores between them, no blanks. The first problem met, left to right, decides.
SmallNumber parseSmallNumber(std::string_view text);

} // namespace tarnvex
