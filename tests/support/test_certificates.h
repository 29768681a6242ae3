#pragma once

#include <string>
#include <string_view>

namespace tarnvex::test {

struct TestCertificates {
    std::string caCertificatePem;
    std::string serverCertificatePem;
    std::string serverKeyPem;
};

/// A throwaway CA and a server certificate it signed, for hostName and 127.0.0.1.
/// EC P-256 keeps generation cheap enough for each test to have its own.
TestCertificates makeTestCertificates(std::string_view hostName = "localhost");

} // namespace tarnvex::test
