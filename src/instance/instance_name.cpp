#include "instance/instance_name.h"

#include <algorithm>

namespace tarnvex {

bool isValidInstanceName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") {
        return false;
    }
    return std::none_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return c == '/' || byte < 0x20 || byte == 0x7F;
    });
}

} // namespace tarnvex
