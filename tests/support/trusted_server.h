#pragma once

#include "support/https_server.h"
#include "support/temp_home.h"
#include "support/test_certificates.h"

#include <string>
#include <string_view>

namespace tarnvex::test {

/// What a TrustedServer holds before its server starts.
struct ServerTrust {
    TempDirectory directory;
    TestCertificates certificates;
};

/// An HTTPS server with a throwaway certificate for `hostName`, and a CA file that trusts it.
class TrustedServer : private ServerTrust, public HttpsServer {
public:
    explicit TrustedServer(Handler handler, ServerOptions options = {},
                           std::string_view hostName = "localhost");

    std::string caFile() const { return directory.path() + "/ca.pem"; }
    /// The certificates it sends in its handshake, as PEM.
    std::string chainPem() const { return certificates.chainPem(); }
};

} // namespace tarnvex::test
