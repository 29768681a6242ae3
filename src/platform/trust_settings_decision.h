#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace tarnvex {

/// One usage-constraint dictionary of a certificate's trust settings in one keychain domain, as
/// plain data.
struct UsageConstraint {
    enum class Policy : std::uint8_t { Absent, TlsServer, Other };
    enum class Result : std::uint8_t { Absent, TrustRoot, TrustAsRoot, Deny, Unspecified };

    Policy policy = Policy::Absent;
    bool namesApplication = false;
    bool namesPolicyString = false;
    /// Apple's key usage bits; absent when the constraint names none.
    std::optional<std::uint32_t> keyUsage = std::nullopt;
    Result result = Result::Absent;
};

enum class TrustDecision : std::uint8_t { Trust, Deny, Undecided };

/// What one domain's trust settings say of a certificate as the anchor of a TLS server's chain,
/// by the rules of Apple's SecTrustSettings.h: a constraint counts only when every component it
/// names fits that use, and the first one that trusts or denies decides. An empty array trusts
/// a self-signed certificate.
TrustDecision trustDecisionFor(bool selfSigned, std::span<const UsageConstraint> constraints);

} // namespace tarnvex
