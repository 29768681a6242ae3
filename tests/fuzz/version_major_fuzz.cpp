// Any version text gives a number or one of the two names, and a number only where there is a dot.

#include "instance/mmc_pack.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view version(reinterpret_cast<const char*>(data), size);
    const auto major = tarnvex::versionExtractMajor(version);
    if (major ? version.find('.') == std::string_view::npos
              : major.error() != tarnvex::Error::InvalidCharacter &&
                    major.error() != tarnvex::Error::Overflow) {
        std::abort();
    }
    return 0;
}
