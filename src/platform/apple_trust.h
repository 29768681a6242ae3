#pragma once

#include "platform/certificate_chain.h"

#include <string_view>

namespace tarnvex {

#if defined(__APPLE__)
/// Decides `chain` for a TLS server named `host` through Apple's own evaluation
/// (`SecTrustEvaluateWithError` with `SecPolicyCreateSSL`); a refusal's reason is Apple's
/// description of it. With `onlyAnchors`, those alone are trusted as roots; else the Mac's, with
/// its trust settings.
CertificateVerdict evaluateWithAppleTrust(std::string_view host, const CertificateChain& chain,
                                          const CertificateChain& onlyAnchors = {});
#endif

} // namespace tarnvex
