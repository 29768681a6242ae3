#pragma once

#include "support/https_server.h"
#include "support/process_runner.h"
#include "support/temp_home.h"
#include "support/trusted_server.h"

#include <map>
#include <mutex>
#include <string>

namespace tarnvex::test {

/// A launcher home, a loopback HTTPS service with a catalogue and a sync client, and the testbed
/// run against them, as a player would run it.
class InstallerRun {
public:
    InstallerRun();

    /// Replaces what the service answers for `path`: the handler writes the raw response.
    void serve(const std::string& path, Handler handler);
    /// Answers `path` with a 200 and `body`.
    void serveBody(const std::string& path, std::string body);

    /// Runs the testbed with `typed` as its standard input.
    ProcessResult run(const std::string& typed, std::optional<long> fileSizeLimit = {});
    ProcessOptions options(const std::string& typed) const;

    const TempHome& home() const { return home_; }
    std::string catalogueUrl() const { return server_.url("/servers"); }
    std::string downloadUrl() const { return server_.url(clientPath); }
    std::string caFile() const { return server_.caFile(); }
    const HttpsServer& server() const { return server_; }

    static constexpr const char* clientPath = "/tarnvex/tarnvex_client-aarch64-macos";

private:
    void handle(const HttpRequest& request, Connection& connection);

    TempHome home_;
    std::mutex routesLock_;
    std::map<std::string, Handler> routes_;
    TrustedServer server_;
};

/// The banner the installer prints first.
std::string bannerText();

/// A catalogue of "Gable Fields" and of "Lantern Hollow", Forge `loaderVersion` on Minecraft
/// 1.21.1 at `address`.
std::string catalogueWith(const std::string& address, const std::string& loaderVersion);

/// Not a real executable: a recognisable body whose every byte is checked.
std::string clientBody(std::size_t size);

} // namespace tarnvex::test
