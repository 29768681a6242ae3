#include "platform/keychain_roots.h"

#include "platform/trust_settings_decision.h"

#include <CoreFoundation/CoreFoundation.h>
#include <Security/Security.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

namespace tarnvex {

namespace {

struct CfReleaser {
    void operator()(CFTypeRef object) const { CFRelease(object); }
};

/// Owns what a Copy or Create call returned.
template <typename Ref> using Owned = std::unique_ptr<std::remove_pointer_t<Ref>, CfReleaser>;

/// Runs a keychain read once more when it timed out: on a slow first start the trust daemon
/// answers later than Apple's call waits, which then fails with errSecIO.
template <typename Read> OSStatus retriedOnTimeout(Read read) {
    const OSStatus status = read();
    return status == errSecIO ? read() : status;
}

/// The certificates that have trust settings in `domain`, which the array owns.
struct CertificatesWithSettings {
    Owned<CFArrayRef> array;
    std::vector<SecCertificateRef> certificates;
};

Result<CertificatesWithSettings> certificatesWithSettings(SecTrustSettingsDomain domain) {
    CertificatesWithSettings found;
    const OSStatus status = retriedOnTimeout([&] {
        CFArrayRef copied = nullptr;
        const OSStatus read = SecTrustSettingsCopyCertificates(domain, &copied);
        found.array.reset(copied);
        return read;
    });
    if (status == errSecNoTrustSettings) {
        return CertificatesWithSettings{};
    }
    if (status != errSecSuccess) {
        return std::unexpected(Error::TlsCertificateNotTrusted);
    }
    const CFIndex count = found.array ? CFArrayGetCount(found.array.get()) : 0;
    for (CFIndex i = 0; i < count; ++i) {
        const void* entry = CFArrayGetValueAtIndex(found.array.get(), i);
        if (entry != nullptr && CFGetTypeID(entry) == SecCertificateGetTypeID()) {
            found.certificates.push_back(static_cast<SecCertificateRef>(const_cast<void*>(entry)));
        }
    }
    return found;
}

UsageConstraint::Policy policyOf(const void* policy) {
    if (policy == nullptr) {
        return UsageConstraint::Policy::Absent;
    }
    if (CFGetTypeID(policy) != SecPolicyGetTypeID()) {
        return UsageConstraint::Policy::Other;
    }
    const Owned<CFDictionaryRef> properties(
        SecPolicyCopyProperties(static_cast<SecPolicyRef>(const_cast<void*>(policy))));
    if (!properties) {
        return UsageConstraint::Policy::Other;
    }
    // The SSL policy's identifier is a TLS client's as well; Apple marks that one as a client's.
    const void* oid = CFDictionaryGetValue(properties.get(), kSecPolicyOid);
    const void* client = CFDictionaryGetValue(properties.get(), kSecPolicyClient);
    const bool tlsServer = oid != nullptr && CFEqual(oid, kSecPolicyAppleSSL) &&
                           (client == nullptr || !CFEqual(client, kCFBooleanTrue));
    return tlsServer ? UsageConstraint::Policy::TlsServer : UsageConstraint::Policy::Other;
}

/// A CFNumber's value; none for anything else. Read wide, as a key usage of "any" may be stored
/// as 0xffffffff or as -1.
std::optional<std::int64_t> integerOf(const void* value) {
    std::int64_t integer = 0;
    if (CFGetTypeID(value) != CFNumberGetTypeID() ||
        !CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt64Type, &integer)) {
        return std::nullopt;
    }
    return integer;
}

UsageConstraint::Result resultOf(const void* result) {
    if (result == nullptr) {
        return UsageConstraint::Result::Absent;
    }
    switch (integerOf(result).value_or(kSecTrustSettingsResultInvalid)) {
    case kSecTrustSettingsResultTrustRoot:
        return UsageConstraint::Result::TrustRoot;
    case kSecTrustSettingsResultTrustAsRoot:
        return UsageConstraint::Result::TrustAsRoot;
    case kSecTrustSettingsResultDeny:
        return UsageConstraint::Result::Deny;
    default:
        // A result that cannot be read neither trusts nor denies.
        return UsageConstraint::Result::Unspecified;
    }
}

std::vector<UsageConstraint> constraintsOf(CFArrayRef settings) {
    std::vector<UsageConstraint> constraints;
    for (CFIndex i = 0; i < CFArrayGetCount(settings); ++i) {
        const void* entry = CFArrayGetValueAtIndex(settings, i);
        if (entry == nullptr || CFGetTypeID(entry) != CFDictionaryGetTypeID()) {
            continue;
        }
        const auto dictionary = static_cast<CFDictionaryRef>(entry);
        UsageConstraint constraint{
            .policy = policyOf(CFDictionaryGetValue(dictionary, kSecTrustSettingsPolicy)),
            .namesApplication =
                CFDictionaryContainsKey(dictionary, kSecTrustSettingsApplication) != 0,
            .namesPolicyString =
                CFDictionaryContainsKey(dictionary, kSecTrustSettingsPolicyString) != 0,
            .keyUsage = std::nullopt,
            .result = resultOf(CFDictionaryGetValue(dictionary, kSecTrustSettingsResult)),
        };
        // A key usage that cannot be read fits no use.
        if (const void* usage = CFDictionaryGetValue(dictionary, kSecTrustSettingsKeyUsage)) {
            constraint.keyUsage = static_cast<std::uint32_t>(integerOf(usage).value_or(0));
        }
        constraints.push_back(constraint);
    }
    return constraints;
}

bool isSelfSigned(SecCertificateRef certificate) {
    const Owned<CFDataRef> subject(SecCertificateCopyNormalizedSubjectSequence(certificate));
    const Owned<CFDataRef> issuer(SecCertificateCopyNormalizedIssuerSequence(certificate));
    return subject && issuer && CFEqual(subject.get(), issuer.get());
}

/// The decision of `domain` on `certificate`, or `unset` when it has no settings there.
Result<TrustDecision> decisionIn(SecTrustSettingsDomain domain, SecCertificateRef certificate,
                                 TrustDecision unset) {
    Owned<CFArrayRef> settings;
    const OSStatus status = retriedOnTimeout([&] {
        CFArrayRef copied = nullptr;
        const OSStatus read = SecTrustSettingsCopyTrustSettings(certificate, domain, &copied);
        settings.reset(copied);
        return read;
    });
    if (status == errSecItemNotFound || (status == errSecSuccess && !settings)) {
        return unset;
    }
    if (status != errSecSuccess) {
        return std::unexpected(Error::TlsCertificateNotTrusted);
    }
    return trustDecisionFor(isSelfSigned(certificate), constraintsOf(settings.get()));
}

std::string derOf(SecCertificateRef certificate) {
    const Owned<CFDataRef> der(SecCertificateCopyData(certificate));
    if (!der) {
        return {};
    }
    return {reinterpret_cast<const char*>(CFDataGetBytePtr(der.get())),
            static_cast<std::size_t>(CFDataGetLength(der.get()))};
}

bool appendPem(SecCertificateRef certificate, std::string& pem) {
    CFDataRef exported = nullptr;
    const OSStatus status =
        SecItemExport(certificate, kSecFormatX509Cert, kSecItemPemArmour, nullptr, &exported);
    const Owned<CFDataRef> owned(exported);
    if (status != errSecSuccess || exported == nullptr) {
        return false;
    }
    pem.append(reinterpret_cast<const char*>(CFDataGetBytePtr(exported)),
               static_cast<std::size_t>(CFDataGetLength(exported)));
    pem.push_back('\n');
    return true;
}

Result<std::string> trustedRootsPem() {
    const auto own = certificatesWithSettings(kSecTrustSettingsDomainUser);
    const auto administered = certificatesWithSettings(kSecTrustSettingsDomainAdmin);
    const auto shipped = certificatesWithSettings(kSecTrustSettingsDomainSystem);
    if (!own || !administered || !shipped) {
        return std::unexpected(Error::TlsCertificateNotTrusted);
    }
    // The roots already decided, by DER. The player's own "Never Trust" holds everywhere; their
    // own trust does not make a root the system's.
    std::set<std::string> settled;
    for (SecCertificateRef certificate : own->certificates) {
        const auto decision =
            decisionIn(kSecTrustSettingsDomainUser, certificate, TrustDecision::Undecided);
        if (!decision) {
            return std::unexpected(decision.error());
        }
        if (*decision == TrustDecision::Deny) {
            settled.insert(derOf(certificate));
        }
    }
    std::string pem;
    std::size_t roots = 0;
    // An administrator's settings in the System keychain overrule those Apple ships.
    auto decide = [&](SecTrustSettingsDomain domain, SecCertificateRef certificate,
                      TrustDecision unset) -> Result<void> {
        std::string der = derOf(certificate);
        if (settled.contains(der)) {
            return {};
        }
        const auto decision = decisionIn(domain, certificate, unset);
        if (!decision) {
            return std::unexpected(decision.error());
        }
        if (*decision != TrustDecision::Undecided) {
            settled.insert(std::move(der));
        }
        if (*decision == TrustDecision::Trust && appendPem(certificate, pem)) {
            ++roots;
        }
        return {};
    };
    for (SecCertificateRef certificate : administered->certificates) {
        if (auto decided =
                decide(kSecTrustSettingsDomainAdmin, certificate, TrustDecision::Undecided);
            !decided) {
            return std::unexpected(decided.error());
        }
    }
    // A root of the System Roots keychain is trusted unless its own settings say otherwise.
    for (SecCertificateRef certificate : shipped->certificates) {
        if (auto decided = decide(kSecTrustSettingsDomainSystem, certificate, TrustDecision::Trust);
            !decided) {
            return std::unexpected(decided.error());
        }
    }
    if (roots == 0) {
        return std::unexpected(Error::TlsCertificateNotTrusted);
    }
    return pem;
}

} // namespace

Result<std::string> keychainTrustedRootsPem() {
    try {
        return trustedRootsPem();
    } catch (const std::bad_alloc&) {
        return std::unexpected(Error::OutOfMemory);
    } catch (...) {
        return std::unexpected(Error::Unexpected);
    }
}

} // namespace tarnvex
