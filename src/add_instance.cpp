#include "add_instance.h"

#include "console/log.h"
#include "instance/icon.h"
#include "instance/instance_cfg.h"
#include "instance/instance_temporaries.h"
#include "instance/make_open_dir.h"
#include "instance/mmc_pack.h"
#include "instance/servers_dat.h"
#include "instance/staged_instance.h"
#include "launcher/launcher_discovery.h"
#include "launcher/launcher_folders.h"
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
#include <utility>

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

Result<void> writeFiles(const InstallerSettings& settings, HttpClient& downloadClient,
                        const Directory& instanceDirectory, const std::string& instancePath,
                        const MinecraftServerEntry& entry, BufferedWriter& out,
                        DirectorySyncs& touched) {
    if (auto downloaded =
            downloadSyncClient(downloadClient, settings.downloadUrl, settings.clientSizeLimit,
                               instanceDirectory, instancePath, out, touched);
        !downloaded) {
        return downloaded;
    }
    if (auto written = writeServersDat(instanceDirectory, entry.address, touched); !written) {
        return written;
    }
    if (auto written = writeMmcPack(instanceDirectory, entry, touched); !written) {
        return written;
    }
    return writeInstanceCfg(instanceDirectory, entry.server, touched);
}

// A new instance is built out of sight and appears whole, so that a launcher left open lists it
// at once and a failed run leaves none; an existing one has each file replaced in place.
Result<void> writeInstance(const InstallerSettings& settings, HttpClient& downloadClient,
                           const LauncherFolder& instancesFolder, const Selection& selection,
                           BufferedWriter& out, DirectorySyncs& touched) {
    const MinecraftServerEntry& entry = *selection.entry;
    const std::string instancePath = joinPath({instancesFolder.path, entry.server});
    // Every run clears what killed runs left, so none of it outlives the instance it was for.
    sweepStagingFolders(selection.instances);
    sweepInstanceTemporaries(selection.instances);
    if (selection.outcome == Selection::Outcome::Overwrite) {
        auto instanceDirectory = makeOpenDir(selection.instances, entry.server, touched);
        if (!instanceDirectory) {
            return std::unexpected(instanceDirectory.error());
        }
        return writeFiles(settings, downloadClient, *instanceDirectory, instancePath, entry, out,
                          touched);
    }
    auto staged = StagedInstance::create(selection.instances, entry.server);
    if (!staged) {
        return std::unexpected(staged.error());
    }
    if (auto written = writeFiles(settings, downloadClient, staged->directory(), instancePath,
                                  entry, out, touched);
        !written) {
        return written;
    }
    return staged->place(touched);
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
    // Where the player's settings moved the folders, both must be there before anything is
    // written; no folder is made where a drive should be mounted.
    const LauncherFolders folders = readLauncherFolders(*launcher);
    auto instances = openLauncherFolder(launcher->directory, folders.instances);
    if (!instances) {
        return std::unexpected(instances.error());
    }
    // Each file is synced before its rename; the renames and the new directories reach the disk
    // together at the end, with one sync of each directory and one flush of the drive.
    DirectorySyncs touched;
    if (auto written = writeIcon(launcher->directory, folders.icons, touched); !written) {
        return std::unexpected(written.error());
    }
    auto catalogue = loadCatalogue(settings);
    if (!catalogue) {
        return std::unexpected(catalogue.error());
    }
    auto selection = selectServerInstance(*catalogue, std::move(*instances), in, out);
    if (!selection) {
        return std::unexpected(selection.error());
    }
    switch (selection->outcome) {
    case Selection::Outcome::NothingToDo:
        return InstanceOutcome::Done;
    case Selection::Outcome::Quit:
        return InstanceOutcome::Quit;
    case Selection::Outcome::Chosen:
    case Selection::Outcome::Overwrite:
        break;
    }
    if (auto written =
            writeInstance(settings, *downloadClient, folders.instances, *selection, out, touched);
        !written) {
        return std::unexpected(written.error());
    }
    if (auto synced = touched.syncAll(); !synced) {
        return std::unexpected(synced.error());
    }
    logInfo("Done adding instance!");
    return InstanceOutcome::Done;
}

} // namespace tarnvex
