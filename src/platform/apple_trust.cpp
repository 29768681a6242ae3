#include "platform/apple_trust.h"

#include <CoreFoundation/CoreFoundation.h>
#include <Security/Security.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>

namespace tarnvex {

namespace {

struct CfReleaser {
    void operator()(CFTypeRef object) const { CFRelease(object); }
};

/// Owns what a Copy or Create call returned.
template <typename Ref> using Owned = std::unique_ptr<std::remove_pointer_t<Ref>, CfReleaser>;

/// The certificates as Apple's objects, in their order; none when one of them is not a
/// certificate Apple can read.
Owned<CFMutableArrayRef> certificateArray(const CertificateChain& chain) {
    Owned<CFMutableArrayRef> array(CFArrayCreateMutable(
        kCFAllocatorDefault, static_cast<CFIndex>(chain.size()), &kCFTypeArrayCallBacks));
    if (!array) {
        return array;
    }
    for (const Certificate& der : chain) {
        const Owned<CFDataRef> data(CFDataCreate(kCFAllocatorDefault,
                                                 reinterpret_cast<const UInt8*>(der.data()),
                                                 static_cast<CFIndex>(der.size())));
        const Owned<SecCertificateRef> certificate(
            data ? SecCertificateCreateWithData(kCFAllocatorDefault, data.get()) : nullptr);
        if (!certificate) {
            return nullptr;
        }
        CFArrayAppendValue(array.get(), certificate.get());
    }
    return array;
}

std::string utf8(CFStringRef text) {
    const CFIndex capacity =
        CFStringGetMaximumSizeForEncoding(CFStringGetLength(text), kCFStringEncodingUTF8) + 1;
    std::string buffer(static_cast<std::size_t>(capacity), '\0');
    if (!CFStringGetCString(text, buffer.data(), capacity, kCFStringEncodingUTF8)) {
        return {};
    }
    buffer.resize(std::strlen(buffer.c_str()));
    return buffer;
}

std::string describe(CFErrorRef error) {
    const Owned<CFStringRef> description(error != nullptr ? CFErrorCopyDescription(error)
                                                          : nullptr);
    std::string text = description ? utf8(description.get()) : std::string();
    return text.empty() ? "Apple's trust evaluation gave no reason" : text;
}

} // namespace

CertificateVerdict evaluateWithAppleTrust(std::string_view host, const CertificateChain& chain,
                                          const CertificateChain& onlyAnchors) {
    const auto certificates = certificateArray(chain);
    if (chain.empty() || !certificates) {
        return std::unexpected("the server's certificates are not ones Apple's code can read");
    }
    const std::string hostName(host);
    const Owned<CFStringRef> hostText(
        CFStringCreateWithCString(kCFAllocatorDefault, hostName.c_str(), kCFStringEncodingUTF8));
    const Owned<SecPolicyRef> policy(hostText ? SecPolicyCreateSSL(true, hostText.get()) : nullptr);
    SecTrustRef created = nullptr;
    const bool made = policy && SecTrustCreateWithCertificates(certificates.get(), policy.get(),
                                                               &created) == errSecSuccess;
    const Owned<SecTrustRef> trust(created);
    if (!made || !trust) {
        return std::unexpected("Apple's trust evaluation could not be set up");
    }
    if (!onlyAnchors.empty()) {
        const auto anchors = certificateArray(onlyAnchors);
        if (!anchors ||
            SecTrustSetAnchorCertificates(trust.get(), anchors.get()) != errSecSuccess ||
            SecTrustSetAnchorCertificatesOnly(trust.get(), true) != errSecSuccess) {
            return std::unexpected("Apple's trust evaluation could not be given its anchors");
        }
    }
    CFErrorRef error = nullptr;
    const bool trusted = SecTrustEvaluateWithError(trust.get(), &error);
    const Owned<CFErrorRef> reason(error);
    if (trusted) {
        return {};
    }
    return std::unexpected(describe(reason.get()));
}

} // namespace tarnvex
