#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tarnvex::test {

struct TestCertificates {
    std::string caCertificatePem;
    /// Signed by the CA; signed the server's certificate.
    std::string intermediateCertificatePem;
    std::string serverCertificatePem;
    std::string serverKeyPem;

    /// What the server sends: its own certificate, then the intermediate.
    std::string chainPem() const { return serverCertificatePem + intermediateCertificatePem; }
};

/// A throwaway CA, an intermediate and a server certificate for hostName and 127.0.0.1, valid
/// now or, with `serverExpired`, until yesterday. EC P-256 keeps generation cheap enough for each
/// test to have its own.
TestCertificates makeTestCertificates(std::string_view hostName = "localhost",
                                      bool serverExpired = false);

/// Each certificate in `pem`, in its order, as DER.
std::vector<std::vector<std::byte>> derCertificates(std::string_view pem);

} // namespace tarnvex::test
