#include "platform/keychain_roots.h"

#include <CoreFoundation/CoreFoundation.h>
#include <Security/Security.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <type_traits>

namespace tarnvex {

namespace {

struct CfReleaser {
    void operator()(CFTypeRef object) const { CFRelease(object); }
};

/// Owns what a Copy or Create call returned.
template <typename Ref> using Owned = std::unique_ptr<std::remove_pointer_t<Ref>, CfReleaser>;

enum class Decision : std::uint8_t { Trust, Deny, Undecided };

/// The certificates that have trust settings in `domain`: none when it has no settings at all.
Result<Owned<CFArrayRef>> certificatesWithSettings(SecTrustSettingsDomain domain) {
    CFArrayRef certificates = nullptr;
    const OSStatus status = SecTrustSettingsCopyCertificates(domain, &certificates);
    Owned<CFArrayRef> owned(certificates);
    if (status != errSecSuccess && status != errSecNoTrustSettings) {
        return std::unexpected(Error::TlsCertificateNotTrusted);
    }
    return owned;
}

template <typename Visit> void forEachCertificate(CFArrayRef certificates, Visit visit) {
    const CFIndex count = certificates == nullptr ? 0 : CFArrayGetCount(certificates);
    for (CFIndex i = 0; i < count; ++i) {
        const void* entry = CFArrayGetValueAtIndex(certificates, i);
        if (entry != nullptr && CFGetTypeID(entry) == SecCertificateGetTypeID()) {
            visit(static_cast<SecCertificateRef>(const_cast<void*>(entry)));
        }
    }
}

bool isTlsServerPolicy(const void* policy) {
    if (CFGetTypeID(policy) != SecPolicyGetTypeID()) {
        return false;
    }
    const Owned<CFDictionaryRef> properties(
        SecPolicyCopyProperties(static_cast<SecPolicyRef>(const_cast<void*>(policy))));
    const void* oid = properties ? CFDictionaryGetValue(properties.get(), kSecPolicyOid) : nullptr;
    return oid != nullptr && CFEqual(oid, kSecPolicyAppleSSL);
}

/// What one domain's usage constraints say of a certificate as the anchor of a TLS server's
/// chain. A constraint to another policy, a host name or an application does not apply here.
Decision decisionFor(CFArrayRef constraints) {
    // An empty array means "always trust this certificate as a root".
    if (CFArrayGetCount(constraints) == 0) {
        return Decision::Trust;
    }
    for (CFIndex i = 0; i < CFArrayGetCount(constraints); ++i) {
        const void* entry = CFArrayGetValueAtIndex(constraints, i);
        if (entry == nullptr || CFGetTypeID(entry) != CFDictionaryGetTypeID()) {
            continue;
        }
        const auto constraint = static_cast<CFDictionaryRef>(entry);
        const void* policy = CFDictionaryGetValue(constraint, kSecTrustSettingsPolicy);
        if ((policy != nullptr && !isTlsServerPolicy(policy)) ||
            CFDictionaryContainsKey(constraint, kSecTrustSettingsPolicyString) ||
            CFDictionaryContainsKey(constraint, kSecTrustSettingsApplication)) {
            continue;
        }
        // A constraint without a result trusts as a root.
        SInt32 number = kSecTrustSettingsResultTrustRoot;
        const void* result = CFDictionaryGetValue(constraint, kSecTrustSettingsResult);
        if (result != nullptr &&
            (CFGetTypeID(result) != CFNumberGetTypeID() ||
             !CFNumberGetValue(static_cast<CFNumberRef>(result), kCFNumberSInt32Type, &number))) {
            continue;
        }
        switch (static_cast<SecTrustSettingsResult>(number)) {
        case kSecTrustSettingsResultTrustRoot:
        case kSecTrustSettingsResultTrustAsRoot:
            return Decision::Trust;
        case kSecTrustSettingsResultDeny:
            return Decision::Deny;
        default:
            // Unspecified: the next constraint, or the next domain, decides.
            break;
        }
    }
    return Decision::Undecided;
}

/// The decision of `domain` on `certificate`, or `unreadable` when it has no settings there.
Decision decisionIn(SecTrustSettingsDomain domain, SecCertificateRef certificate,
                    Decision unreadable) {
    CFArrayRef constraints = nullptr;
    const OSStatus status = SecTrustSettingsCopyTrustSettings(certificate, domain, &constraints);
    const Owned<CFArrayRef> owned(constraints);
    if (status != errSecSuccess || constraints == nullptr) {
        return unreadable;
    }
    return decisionFor(constraints);
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

} // namespace

Result<std::string> keychainTrustedRootsPem() {
    try {
        const auto administered = certificatesWithSettings(kSecTrustSettingsDomainAdmin);
        const auto shipped = certificatesWithSettings(kSecTrustSettingsDomainSystem);
        if (!administered || !shipped) {
            return std::unexpected(Error::TlsCertificateNotTrusted);
        }
        std::string pem;
        std::size_t roots = 0;
        auto take = [&](SecCertificateRef certificate, Decision decision) {
            if (decision == Decision::Trust && appendPem(certificate, pem)) {
                ++roots;
            }
        };
        // An administrator's settings in the System keychain overrule those Apple ships.
        std::set<std::string> decidedByAdministrator;
        forEachCertificate(administered->get(), [&](SecCertificateRef certificate) {
            const Decision decision =
                decisionIn(kSecTrustSettingsDomainAdmin, certificate, Decision::Undecided);
            if (decision != Decision::Undecided) {
                decidedByAdministrator.insert(derOf(certificate));
                take(certificate, decision);
            }
        });
        // A root of the System Roots keychain is trusted unless its own settings say otherwise.
        forEachCertificate(shipped->get(), [&](SecCertificateRef certificate) {
            if (!decidedByAdministrator.contains(derOf(certificate))) {
                take(certificate,
                     decisionIn(kSecTrustSettingsDomainSystem, certificate, Decision::Trust));
            }
        });
        if (roots == 0) {
            return std::unexpected(Error::TlsCertificateNotTrusted);
        }
        return pem;
    } catch (const std::bad_alloc&) {
        return std::unexpected(Error::OutOfMemory);
    } catch (...) {
        return std::unexpected(Error::Unexpected);
    }
}

} // namespace tarnvex
