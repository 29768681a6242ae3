#include "platform/environment.h"

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

// POSIX defines it but no header need declare it.
extern char** environ;

namespace tarnvex {

void keepOnlyEnvironmentVariable(std::string_view kept) {
    // Names first: unsetenv changes the array being walked.
    std::vector<std::string> names;
    try {
        for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
            const std::string_view text(*entry);
            const auto equals = text.find('=');
            if (equals != std::string_view::npos && equals > 0 && text.substr(0, equals) != kept) {
                names.emplace_back(text.substr(0, equals));
            }
        }
    } catch (const std::bad_alloc&) { // NOLINT(bugprone-empty-catch): best effort, as said
        // What was collected is still removed; a run this short of memory fails soon anyway.
    }
    for (const std::string& name : names) {
        (void)::unsetenv(name.c_str());
    }
}

} // namespace tarnvex
