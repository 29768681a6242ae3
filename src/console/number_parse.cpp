#include "console/number_parse.h"

namespace tarnvex {

SmallNumber parseSmallNumber(std::string_view text) {
    constexpr SmallNumber notANumber{SmallNumber::Kind::NotANumber, 0};
    constexpr SmallNumber tooLarge{SmallNumber::Kind::TooLarge, 0};

    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.front() == '_' || text.back() == '_') {
        return notANumber;
    }
    unsigned value = 0;
    for (const char c : text) {
        if (c == '_') {
            continue;
        }
        if (c < '0' || c > '9') {
            return notANumber;
        }
        const auto digit = static_cast<unsigned>(c - '0');
        // Below zero nothing fits, so any nonzero digit after a minus overflows at once.
        if (negative ? digit != 0 : value * 10 + digit > 255) {
            return tooLarge;
        }
        value = value * 10 + digit;
    }
    return {SmallNumber::Kind::Number, static_cast<std::uint8_t>(value)};
}

} // namespace tarnvex
