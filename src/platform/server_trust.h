#pragma once

#include "platform/certificate_chain.h"

namespace tarnvex {

/// Who decides whether a client trusts a server: `verifier`, for every connection, and beside it
/// the TLS library's own check of the chain against its roots where `libraryChecksChain`.
struct ServerTrustSetup {
    CertificateVerifier verifier;
    bool libraryChecksChain = true;
};

/// On macOS without a root file, Apple's trust evaluation alone, as Safari's: the Mac's anchors,
/// its user and admin trust settings and Apple's own restrictions. Everywhere else the TLS
/// library's check against the root file or the system's roots, and a verifier that agrees with
/// what that check let through.
ServerTrustSetup platformServerTrust(bool rootFileGiven);

} // namespace tarnvex
