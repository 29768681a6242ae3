#pragma once

#include <cstddef>
#include <expected>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnvex {

/// One X.509 certificate, DER-encoded.
using Certificate = std::vector<std::byte>;

/// The certificates a server sent in its handshake, its own (the leaf) first.
using CertificateChain = std::vector<Certificate>;

/// Trusted, or refused with the reason in the verifier's own words.
using CertificateVerdict = std::expected<void, std::string>;

/// Decides whether a server's chain is trusted for the host name the server was reached by.
using CertificateVerifier =
    std::function<CertificateVerdict(std::string_view host, const CertificateChain& chain)>;

} // namespace tarnvex
