// No accepted name may lead anywhere but one directory right below instances/.

#include "instance/instance_name.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view name(reinterpret_cast<const char*>(data), size);
    if (!tarnvex::isValidInstanceName(name)) {
        return 0;
    }
    const bool escapes = name.empty() || name == "." || name == ".." ||
                         name.find('/') != std::string_view::npos ||
                         name.find('\0') != std::string_view::npos;
    bool hasControl = false;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        hasControl = hasControl || byte < 0x20 || byte == 0x7F;
    }
    if (escapes || hasControl) {
        std::abort();
    }
    return 0;
}
