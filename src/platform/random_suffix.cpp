#include "platform/random_suffix.h"

#include <cstdint>
#include <ctime>
#include <string_view>
#include <unistd.h>

namespace tarnvex {

namespace {

constexpr std::string_view alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

} // namespace

std::string randomSuffix() {
    static std::uint64_t counter = 0;
    timespec now{};
    (void)::clock_gettime(CLOCK_REALTIME, &now);
    ++counter;
    std::uint64_t x = (static_cast<std::uint64_t>(::getpid()) << 32) ^ counter ^
                      (static_cast<std::uint64_t>(now.tv_sec) << 20) ^
                      static_cast<std::uint64_t>(now.tv_nsec);
    // splitmix64 spreads the few changing bits over the whole word.
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    x ^= x >> 31;
    std::string suffix;
    for (std::size_t i = 0; i < randomSuffixLength; ++i) {
        suffix.push_back(alphabet[x % alphabet.size()]);
        x /= alphabet.size();
    }
    return suffix;
}

bool isRandomSuffix(std::string_view text) {
    return text.size() == randomSuffixLength &&
           text.find_first_not_of(alphabet) == std::string_view::npos;
}

} // namespace tarnvex
