#include "support/trusted_server.h"

#include <utility>

namespace tarnvex::test {

TrustedServer::TrustedServer(Handler handler, ServerOptions options, std::string_view hostName)
    : ServerTrust{.directory = {}, .certificates = makeTestCertificates(hostName)},
      HttpsServer(certificates, std::move(handler), options) {
    writeFile(caFile(), certificates.caCertificatePem);
}

} // namespace tarnvex::test
