#include "platform/environment.h"

#include <array>

// POSIX defines it but no header need declare it.
extern char** environ;

namespace tarnvex {

void keepOnlyEnvironmentVariable(std::string_view kept) {
    // A new array in place of the old one: POSIX allows replacing the environment whole, and
    // doing so needs no memory, so it cannot stop halfway. The first entry of a name is the one
    // getenv would have found. It is looked for before the array is filled: on a second call the
    // array scanned is this one.
    char* found = nullptr;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        if (text.size() > kept.size() && text.starts_with(kept) && text[kept.size()] == '=') {
            found = *entry;
            break;
        }
    }
    static std::array<char*, 2> remaining{};
    remaining = {found, nullptr};
    environ = remaining.data();
}

} // namespace tarnvex
