#include "platform/trust_settings_decision.h"

namespace tarnvex {

namespace {

// Apple's kSecTrustSettingsKeyUseSignCert: an anchor's key signs certificates.
constexpr std::uint32_t signsCertificates = 0x00000008;

bool fitsTlsServerAnchor(const UsageConstraint& constraint) {
    return constraint.policy != UsageConstraint::Policy::Other && !constraint.namesApplication &&
           !constraint.namesPolicyString &&
           (!constraint.keyUsage || (*constraint.keyUsage & signsCertificates) != 0);
}

} // namespace

TrustDecision trustDecisionFor(bool selfSigned, std::span<const UsageConstraint> constraints) {
    if (constraints.empty()) {
        return selfSigned ? TrustDecision::Trust : TrustDecision::Undecided;
    }
    for (const UsageConstraint& constraint : constraints) {
        if (!fitsTlsServerAnchor(constraint)) {
            continue;
        }
        switch (constraint.result) {
        // A missing result means TrustRoot, which only a root (self-signed) can take, as only
        // another certificate can take TrustAsRoot.
        case UsageConstraint::Result::Absent:
        case UsageConstraint::Result::TrustRoot:
            if (selfSigned) {
                return TrustDecision::Trust;
            }
            break;
        case UsageConstraint::Result::TrustAsRoot:
            if (!selfSigned) {
                return TrustDecision::Trust;
            }
            break;
        case UsageConstraint::Result::Deny:
            return TrustDecision::Deny;
        case UsageConstraint::Result::Unspecified:
            break;
        }
    }
    return TrustDecision::Undecided;
}

} // namespace tarnvex
