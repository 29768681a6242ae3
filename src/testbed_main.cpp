// The installer for tests and the demo: the endpoints and trusted roots come from the
// environment instead of being compiled in.

#include "console/log.h"
#include "console/run.h"
#include "platform/certificate_chain.h"

#include <charconv>
#include <cstdlib>
#include <expected>
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

/// A verifier that refuses every chain of the host in TARNVEX_TESTBED_DISTRUSTED_HOST, as the
/// Mac would refuse one, and trusts what libcurl's own check let through; none when it is unset.
tarnvex::CertificateVerifier distrustingVerifier() {
    const char* distrusted = std::getenv("TARNVEX_TESTBED_DISTRUSTED_HOST");
    if (distrusted == nullptr) {
        return {};
    }
    return [host = std::string(distrusted)](
               std::string_view name,
               const tarnvex::CertificateChain&) -> tarnvex::CertificateVerdict {
        if (name == host) {
            return std::unexpected("the testbed distrusts this host");
        }
        return {};
    };
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
        // A refusal can be seen for one host without a certificate of its own.
        .certificateVerifier = distrustingVerifier(),
        .stallSeconds = *stall,
        .clientSizeLimit = *clientLimit,
        .protocolBitMasks = false,
        .trustDecidedAtFirstHeader = false,
    });
}
