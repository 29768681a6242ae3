#pragma once

#include "error.h"

#include <string>

namespace tarnvex {

/// The certificates that the System Roots keychain and the System keychain trust as anchors for
/// TLS servers, as PEM, for a TLS library that reads no keychain. A root the administrator set to
/// "Never Trust" is left out. Fails with `TlsCertificateNotTrusted` when no root can be read,
/// as no server could then be trusted.
Result<std::string> keychainTrustedRootsPem();

} // namespace tarnvex
