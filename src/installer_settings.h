#pragma once

#include "platform/certificate_chain.h"

#include <cstdint>
#include <string>

namespace tarnvex {

/// The product's limit on the sync client: a coded body of 1 MiB can expand to tens of GiB.
inline constexpr std::uint64_t maximumClientSize = std::uint64_t{1} << 30;

/// What differs between the product and the testbed: where the two resources live and whom to
/// trust for them.
struct InstallerSettings {
    std::string catalogueUrl;
    std::string downloadUrl;
    /// PEM file of trusted roots used instead of the system's; empty for the system's.
    std::string caFile;
    /// Decides every server's chain in place of the platform's verifier; empty for the platform's.
    CertificateVerifier certificateVerifier = {};
    /// A request that receives nothing for this long is given up.
    long stallSeconds = 60;
    /// The largest sync client accepted, as sent or as decoded.
    std::uint64_t clientSizeLimit = maximumClientSize;
    /// Restricts protocols with the bit masks alone, as a libcurl older than 7.85 (macOS 12's)
    /// must, so that tests take that path with a newer one.
    bool protocolBitMasks = false;
    /// Decides each connection's chain at the first header line of its response, as with a
    /// libcurl older than 7.80 (macOS 12's) it must be, so that tests take that path with a newer
    /// one.
    bool trustDecidedAtFirstHeader = false;
};

} // namespace tarnvex
