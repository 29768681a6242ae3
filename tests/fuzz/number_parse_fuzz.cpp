// The prompt's number parse against a plain model of its rules.

#include "console/number_parse.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using tarnvex::SmallNumber;

SmallNumber model(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.front() == '_' || text.back() == '_') {
        return {SmallNumber::Kind::NotANumber, 0};
    }
    long long value = 0;
    for (const char c : text) {
        if (c == '_') {
            continue;
        }
        if (c < '0' || c > '9') {
            return {SmallNumber::Kind::NotANumber, 0};
        }
        value = value * 10 + (c - '0');
        if (negative ? value != 0 : value > 255) {
            return {SmallNumber::Kind::TooLarge, 0};
        }
    }
    return {SmallNumber::Kind::Number, static_cast<std::uint8_t>(value)};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const SmallNumber parsed = tarnvex::parseSmallNumber(text);
    const SmallNumber expected = model(text);
    if (parsed.kind != expected.kind ||
        (parsed.kind == SmallNumber::Kind::Number && parsed.value != expected.value)) {
        std::abort();
    }
    return 0;
}
