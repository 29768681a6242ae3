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

std::optional<long> stallSeconds() {
    const char* value = std::getenv("TARNVEX_TESTBED_STALL_SECONDS");
    if (value == nullptr) {
        return 60;
    }
    const std::string_view text(value);
    long seconds = 0;
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (failure != std::errc() || end != text.data() + text.size() || seconds < 1) {
        tarnvex::logError("TARNVEX_TESTBED_STALL_SECONDS must be a whole number of seconds, at "
                          "least 1.");
        return std::nullopt;
    }
    return seconds;
}

} // namespace

int main() {
    auto catalogueUrl = requiredVariable("TARNVEX_TESTBED_CATALOGUE_URL");
    auto downloadUrl = requiredVariable("TARNVEX_TESTBED_DOWNLOAD_URL");
    auto caFile = requiredVariable("TARNVEX_TESTBED_CA_FILE");
    auto stall = stallSeconds();
    if (!catalogueUrl || !downloadUrl || !caFile || !stall) {
        return 1;
    }
    return tarnvex::runInstaller({
        .catalogueUrl = std::move(*catalogueUrl),
        .downloadUrl = std::move(*downloadUrl),
        .caFile = std::move(*caFile),
        .stallSeconds = *stall,
    });
}
