#include "support/installer_run.h"

namespace tarnvex::test {

InstallerRun::InstallerRun()
    : server_([this](const HttpRequest& request, Connection& connection) {
          handle(request, connection);
      }) {}

void InstallerRun::serve(const std::string& path, Handler handler) {
    const std::lock_guard guard(routesLock_);
    routes_[path] = std::move(handler);
}

void InstallerRun::serveBody(const std::string& path, std::string body) {
    serve(path, [body = std::move(body)](const HttpRequest&, Connection& connection) {
        connection.write(httpResponse(200, "OK", {}, body));
    });
}

void InstallerRun::handle(const HttpRequest& request, Connection& connection) {
    Handler handler;
    {
        const std::lock_guard guard(routesLock_);
        const auto route = routes_.find(request.target);
        if (route != routes_.end()) {
            handler = route->second;
        }
    }
    if (handler) {
        handler(request, connection);
    } else {
        connection.write(httpResponse(404, "Not Found", {}, "not here\n"));
    }
}

ProcessOptions InstallerRun::options(const std::string& typed) const {
    ProcessOptions options;
    options.environment = {
        {"HOME", home_.home()},
        {"TARNVEX_TESTBED_CATALOGUE_URL", catalogueUrl()},
        {"TARNVEX_TESTBED_DOWNLOAD_URL", downloadUrl()},
        {"TARNVEX_TESTBED_CA_FILE", server_.caFile()},
        {"TARNVEX_TESTBED_STALL_SECONDS", "5"},
    };
    options.standardInput = typed;
    return options;
}

ProcessResult InstallerRun::run(const std::string& typed, std::optional<long> fileSizeLimit) {
    ProcessOptions processOptions = options(typed);
    processOptions.fileSizeLimit = fileSizeLimit;
    return runProcess(TARNVEX_TESTBED_PATH, processOptions);
}

std::string catalogueWith(const std::string& address, const std::string& loaderVersion) {
    return R"([{"server": "Gable Fields", "version": "1.21.1", "loader": "fabric",
                "loaderVersion": "0.16.5", "address": "gable.example.org"},
               {"server": "Lantern Hollow", "version": "1.21.1", "loader": "forge",
                "loaderVersion": ")" +
           loaderVersion + R"(", "address": ")" + address + R"("}])";
}

std::string clientBody(std::size_t size) {
    std::string body;
    for (std::size_t i = 0; i < size; ++i) {
        body.push_back(static_cast<char>('A' + i * 7 % 26));
    }
    return body;
}

std::string bannerText() {
    const std::string rule(69, '#');
    return rule +
           "\n"
           " MINECRAFT TARNVEX by @Velkor and @Brannoc\n"
           "\n"
           " Version: v" TARNVEX_VERSION "\n"
           "\n"
           " This program will help you setup Prism Launcher + Fabric mod loader,\n"
           " then install the sync client, which will keep your mods in sync\n"
           " with the Velkor mod list!\n" +
           rule + "\n\n";
}

} // namespace tarnvex::test
