#include "add_instance.h"

#include "console/log.h"
#include "instance/icon.h"
#include "instance/instance_cfg.h"
#include "instance/make_open_dir.h"
#include "instance/mmc_pack.h"
#include "instance/servers_dat.h"
#include "launcher/launcher_discovery.h"
#include "platform/directory_syncs.h"
#include "platform/path_join.h"
#include "remote/catalogue_fetch.h"
#include "remote/catalogue_parser.h"
#include "remote/client_download.h"
#include "remote/http_client.h"
#include "remote/selection.h"

#include <cstdlib>
#include <optional>
#include <string_view>

namespace tarnvex {

namespace {

std::optional<std::string_view> homeFromEnvironment() {
    const char* home = std::getenv("HOME");
    if (home == nullptr) {
        return std::nullopt;
    }
    return std::string_view(home);
}

Result<std::vector<MinecraftServerEntry>> loadCatalogue(const InstallerSettings& settings) {
    // The body goes as soon as it is parsed; the entries own copies of their strings.
    auto body = fetchCatalogue(settings);
    if (!body) {
        return std::unexpected(body.error());
    }
    return parseCatalogue(*body);
}

Result<void> writeInstance(const InstallerSettings& settings, HttpClient& downloadClient,
                           const LauncherDirectory& launcher, const Directory& instances,
                           const MinecraftServerEntry& entry, BufferedWriter& out,
                           DirectorySyncs& touched) {
    auto instanceDirectory = makeOpenDir(instances, entry.server, touched);
    if (!instanceDirectory) {
        return std::unexpected(instanceDirectory.error());
    }
    const std::string instancePath = joinPath({launcher.path, "instances", entry.server});
    if (auto downloaded =
            downloadSyncClient(downloadClient, settings.downloadUrl, settings.clientSizeLimit,
                               *instanceDirectory, instancePath, out, touched);
        !downloaded) {
        return downloaded;
    }
    if (auto written = writeServersDat(*instanceDirectory, entry.address, touched); !written) {
        return written;
    }
    if (auto written = writeMmcPack(*instanceDirectory, entry, touched); !written) {
        return written;
    }
    if (auto written = writeInstanceCfg(*instanceDirectory, entry.server, touched); !written) {
        return written;
    }
    if (auto synced = touched.syncAll(); !synced) {
        return synced;
    }
    logInfo("Done adding instance!");
    return {};
}

} // namespace

Result<InstanceOutcome> addInstance(const InstallerSettings& settings, BufferedReader& in,
                                    BufferedWriter& out) {
    auto downloadClient = HttpClient::create(settings);
    if (!downloadClient) {
        return std::unexpected(downloadClient.error());
    }
    auto launcher = discoverLauncherDirectory(homeFromEnvironment());
    if (!launcher) {
        return std::unexpected(launcher.error());
    }
    // Each file is synced before its rename; the renames and the new directories reach the disk
    // together at the end, with one sync of each directory and one flush of the drive.
    DirectorySyncs touched;
    if (auto written = writeIcon(launcher->directory, touched); !written) {
        return std::unexpected(written.error());
    }
    auto catalogue = loadCatalogue(settings);
    if (!catalogue) {
        return std::unexpected(catalogue.error());
    }
    auto selection = selectServerInstance(*catalogue, launcher->path, in, out);
    if (!selection) {
        return std::unexpected(selection.error());
    }
    switch (selection->outcome) {
    case Selection::Outcome::NothingToDo:
        return InstanceOutcome::Done;
    case Selection::Outcome::Quit:
        return InstanceOutcome::Quit;
    case Selection::Outcome::Chosen:
        break;
    }
    if (auto written = writeInstance(settings, *downloadClient, *launcher, selection->instances,
                                     *selection->entry, out, touched);
        !written) {
        return std::unexpected(written.error());
    }
    return InstanceOutcome::Done;
}

} // namespace tarnvex
