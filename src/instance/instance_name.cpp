#include "instance/instance_name.h"

#include <algorithm>
#include <cctype>

namespace tarnvex {

bool isValidInstanceName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") {
        return false;
    }
    // A later run would clear such an instance away as a staging folder left behind; a Mac's
    // volume finds the name in another letter case too.
    if (name.size() >= reservedNamePrefix.size() &&
        std::equal(reservedNamePrefix.begin(), reservedNamePrefix.end(), name.begin(),
                   [](char reserved, char c) {
                       return reserved == std::tolower(static_cast<unsigned char>(c));
                   })) {
        return false;
    }
    return std::none_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return c == '/' || byte < 0x20 || byte == 0x7F;
    });
}

} // namespace tarnvex
