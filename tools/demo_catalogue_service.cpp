// A stand-in for the real catalogue and download host, for trying the installer by hand.

#include "support/https_server.h"
#include "support/test_certificates.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

namespace {

using tarnvex::test::Connection;
using tarnvex::test::HttpRequest;

constexpr std::string_view catalogue = R"([
  {"server": "Gable Fields Survival", "version": "1.20.1", "loader": "fabric", "loaderVersion": "0.15.11", "address": "gable-fields.example.org:25565"},
  {"server": "Lantern Hollow", "version": "1.20.1", "loader": "forge", "loaderVersion": "47.3.0", "address": "lantern-hollow.example.net:25565"},
  {"server": "Copperleaf Creative", "version": "1.21.1", "loader": "fabric", "loaderVersion": "0.16.5", "address": "play.copperleaf.example.org:25565"},
  {"server": "Driftstone Skyblock", "version": "1.21.1", "loader": "forge", "loaderVersion": "52.0.16", "address": "driftstone.example.net:25570"}
]
)";

constexpr std::string_view clientStandIn = R"(#!/bin/sh
echo "tarnvex demo service: this is a stand-in for the sync client; it does nothing."
exit 0
)";

void respond(const HttpRequest& request, Connection& connection) {
    const std::string_view path =
        std::string_view(request.target).substr(0, request.target.find('?'));
    int status = 404;
    std::string response;
    if (request.method == "GET" && path == "/servers") {
        status = 200;
        response = tarnvex::test::httpResponse(200, "OK", {{"content-type", "application/json"}},
                                               catalogue);
    } else if (request.method == "GET" && path == "/tarnvex/tarnvex_client-aarch64-macos") {
        status = 200;
        response = tarnvex::test::httpResponse(
            200, "OK", {{"content-type", "application/octet-stream"}}, clientStandIn);
    } else {
        response = tarnvex::test::httpResponse(404, "Not Found", {{"content-type", "text/plain"}},
                                               "not found\n");
    }
    (void)std::fprintf(stderr, "demo-service: %s %s -> %d\n", request.method.c_str(),
                       request.target.c_str(), status);
    connection.write(response);
}

/// Writes beside the target and renames, so a script polling for the file never sees half.
bool writeFileAtomically(const std::string& path, std::string_view contents) {
    const std::string temporary = path + ".tmp." + std::to_string(::getpid());
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(contents.data(), 1, contents.size(), file) == contents.size();
    if (std::fclose(file) != 0 || !written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        (void)std::remove(temporary.c_str());
        return false;
    }
    return true;
}

int usage() {
    (void)std::fputs("usage: tarnvex-demo-service --ca-file PATH --port-file PATH\n", stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string caFile;
    std::string portFile;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (i + 1 >= argc) {
            return usage();
        }
        if (option == "--ca-file") {
            caFile = argv[++i];
        } else if (option == "--port-file") {
            portFile = argv[++i];
        } else {
            return usage();
        }
    }
    if (caFile.empty() || portFile.empty()) {
        return usage();
    }

    // Blocked before any thread starts, so every thread inherits the mask and sigwait alone
    // receives the signals.
    sigset_t stopSignals;
    (void)sigemptyset(&stopSignals);
    (void)sigaddset(&stopSignals, SIGINT);
    (void)sigaddset(&stopSignals, SIGTERM);
    if (pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr) != 0) {
        (void)std::fputs("demo-service: cannot block signals\n", stderr);
        return 1;
    }

    try {
        const auto certificates = tarnvex::test::makeTestCertificates();
        if (!writeFileAtomically(caFile, certificates.caCertificatePem)) {
            (void)std::fprintf(stderr, "demo-service: cannot write %s: %s\n", caFile.c_str(),
                               std::strerror(errno));
            return 1;
        }
        tarnvex::test::HttpsServer server(certificates, respond);
        if (!writeFileAtomically(portFile, std::to_string(server.port()) + "\n")) {
            (void)std::fprintf(stderr, "demo-service: cannot write %s: %s\n", portFile.c_str(),
                               std::strerror(errno));
            return 1;
        }
        (void)std::fprintf(stderr, "demo-service: listening on %s\n", server.url("/").c_str());
        int received = 0;
        while (sigwait(&stopSignals, &received) != 0) {
        }
        (void)std::fprintf(stderr, "demo-service: stopping on signal %d\n", received);
    } catch (const std::exception& error) {
        (void)std::fprintf(stderr, "demo-service: %s\n", error.what());
        return 1;
    }
    return 0;
}
