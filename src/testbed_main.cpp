// The installer for tests and the demo: the endpoints and trusted roots come from the
// environment instead of being compiled in.

#include "console/log.h"
#include "console/run.h"

#include <charconv>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace {

std::optional<std::string> requiredVariable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        tarnvex::logError(std::string("The testbed needs the environment variable ") + name + ".");
        return std::nullopt;
    }
    return std::string(value);
}

/// The whole number, at least 1, in the variable `name`, or `fallback` when it is not set.
template <typename Number> std::optional<Number> positiveNumber(const char* name, Number fallback) {
    const char* value = std::getenv(name);
    if (value == nullptr) {
        return fallback;
    }
    const std::string_view text(value);
    Number number = 0;
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (failure != std::errc() || end != text.data() + text.size() || number < 1) {
        tarnvex::logError(std::string(name) + " must be a whole number, at least 1.");
        return std::nullopt;
    }
    return number;
}

} // namespace

int main() {
    auto catalogueUrl = requiredVariable("TARNVEX_TESTBED_CATALOGUE_URL");
    auto downloadUrl = requiredVariable("TARNVEX_TESTBED_DOWNLOAD_URL");
    auto caFile = requiredVariable("TARNVEX_TESTBED_CA_FILE");
    auto stall = positiveNumber("TARNVEX_TESTBED_STALL_SECONDS", 60L);
    // A small limit lets tests refuse a client without sending a GiB.
    auto clientLimit = positiveNumber("TARNVEX_TESTBED_CLIENT_LIMIT", tarnvex::maximumClientSize);
    if (!catalogueUrl || !downloadUrl || !caFile || !stall || !clientLimit) {
        return 1;
    }
    return tarnvex::runInstaller({
        .catalogueUrl = std::move(*catalogueUrl),
        .downloadUrl = std::move(*downloadUrl),
        .caFile = std::move(*caFile),
        .stallSeconds = *stall,
        .clientSizeLimit = *clientLimit,
        .protocolBitMasks = false,
    });
}
