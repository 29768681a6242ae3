#include "platform/trust_settings_decision.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace tarnvex {
namespace {

using Policy = UsageConstraint::Policy;
using Result = UsageConstraint::Result;
constexpr std::uint32_t signature = 0x1, signCert = 0x8, any = 0xffffffff;

UsageConstraint tls(Result result) {
    return {.policy = Policy::TlsServer, .result = result};
}

TEST(TrustSettingsDecision, FollowsApplesRulesForATlsServersAnchor) {
    struct Case {
        const char* name;
        bool selfSigned;
        std::vector<UsageConstraint> constraints;
        TrustDecision expected;
    };
    const Case cases[] = {
        {"empty array, root", true, {}, TrustDecision::Trust},
        {"empty array, not a root", false, {}, TrustDecision::Undecided},
        {"no components, no result", true, {{}}, TrustDecision::Trust},
        {"TLS server policy, TrustRoot", true, {tls(Result::TrustRoot)}, TrustDecision::Trust},
        {"TrustRoot, not a root", false, {tls(Result::TrustRoot)}, TrustDecision::Undecided},
        {"TrustAsRoot, not a root", false, {tls(Result::TrustAsRoot)}, TrustDecision::Trust},
        {"TrustAsRoot, root", true, {tls(Result::TrustAsRoot)}, TrustDecision::Undecided},
        {"Deny", true, {tls(Result::Deny)}, TrustDecision::Deny},
        {"Unspecified", true, {tls(Result::Unspecified)}, TrustDecision::Undecided},
        {"other policy's Deny",
         true,
         {{.policy = Policy::Other, .result = Result::Deny}},
         TrustDecision::Undecided},
        {"an application", true, {{.namesApplication = true}}, TrustDecision::Undecided},
        {"a host name", true, {{.namesPolicyString = true}}, TrustDecision::Undecided},
        {"signatures only", true, {{.keyUsage = signature}}, TrustDecision::Undecided},
        {"signing certificates", true, {{.keyUsage = signCert | signature}}, TrustDecision::Trust},
        {"any key use", true, {{.keyUsage = any}}, TrustDecision::Trust},
        {"every component fits",
         true,
         {{.policy = Policy::TlsServer, .keyUsage = signCert, .result = Result::Deny}},
         TrustDecision::Deny},
        {"every component fits but one",
         true,
         {{.policy = Policy::TlsServer,
           .namesApplication = true,
           .keyUsage = any,
           .result = Result::Deny}},
         TrustDecision::Undecided},
        {"first applying decides",
         true,
         {{.policy = Policy::Other},
          tls(Result::Unspecified),
          tls(Result::Deny),
          tls(Result::TrustRoot)},
         TrustDecision::Deny},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(trustDecisionFor(c.selfSigned, c.constraints), c.expected) << c.name;
    }
}

} // namespace
} // namespace tarnvex
