// Apple's own trust evaluation, with the test CA as its only anchor, so that no keychain of the
// Mac that runs it is read or changed.

#if defined(__APPLE__)
#include "platform/apple_trust.h"

#include "support/test_certificates.h"

#include <gtest/gtest.h>

#include <string_view>

namespace tarnvex {
namespace {

TEST(AppleTrust, DecidesTheServersChainAsTheMacWould) {
    const test::TestCertificates current = test::makeTestCertificates("localhost");
    const test::TestCertificates expired = test::makeTestCertificates("localhost", true);
    struct Case {
        const char* what;
        const test::TestCertificates& certificates;
        std::string_view host;
        bool trusted;
    };
    const Case cases[] = {
        {"its own host", current, "localhost", true},
        {"another host", current, "elsewhere.example", false},
        {"an expired certificate", expired, "localhost", false},
    };
    for (const Case& c : cases) {
        const auto verdict =
            evaluateWithAppleTrust(c.host, test::derCertificates(c.certificates.chainPem()),
                                   test::derCertificates(c.certificates.caCertificatePem));
        EXPECT_EQ(verdict.has_value(), c.trusted) << c.what;
        if (!verdict) {
            EXPECT_FALSE(verdict.error().empty()) << c.what;
        }
    }
    // Anchored elsewhere, the same chain is nobody's.
    const test::TestCertificates other = test::makeTestCertificates("localhost");
    EXPECT_FALSE(evaluateWithAppleTrust("localhost", test::derCertificates(current.chainPem()),
                                        test::derCertificates(other.caCertificatePem)));
}

} // namespace
} // namespace tarnvex
#endif
