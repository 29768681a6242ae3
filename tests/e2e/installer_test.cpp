// Whole runs of the testbed against the loopback service, checked as a player would see them:
// what is shown, what is logged, the exit status and every file written.

#include "support/compression.h"
#include "support/expected_files.h"
#include "support/installer_run.h"
#include "support/refusing_port.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#ifdef __linux__
#include <sys/inotify.h>
#endif

namespace tarnvex {
namespace {

using namespace std::string_literals;
using test::clientBody;
using test::Connection;
using test::HttpRequest;
using test::httpResponse;
using test::InstallerRun;
using test::readFile;

const std::string catalogue = test::catalogueWith("mc.example.org:25565", "52.0.16");

const std::string menu = "\nThese Minecraft server instances are avaliable on the server.\n"
                         "Pick one to add to your Prism installation.\n"
                         "[1] Name: \"Gable Fields\", Minecraft ver: 1.21.1, Mod loader: fabric\n"
                         "[2] Name: \"Lantern Hollow\", Minecraft ver: 1.21.1, Mod loader: forge\n";

const std::string existsMenu = "[1] Back to server selection\n"
                               "[2] Overwrite configuration of \"Lantern Hollow\"\n"
                               "[3] Quit\n";

const std::string wipe = "\r                             \n";

const std::string serversDat = "\x0A\x00\x00"
                               "\x09\x00\x07servers"
                               "\x0A\x00\x00\x00\x01"
                               "\x01\x00\x06hidden\x00"
                               "\x08\x00\x02ip\x00\x14mc.example.org:25565"
                               "\x08\x00\x04name\x00\x10The Gable Fields"
                               "\x00\x00"s;

std::string logOfWholeRun(const std::string& instancePath) {
    return "info: Writing icon_velkrhub.png\n"
           "info: Checking for Minecraft server instances on remote...\n"
           "info: Downloading tarnvex client to " +
           instancePath +
           "\n"
           "info: Writing minecraft/servers.dat\n"
           "info: Writing mmc-pack.json\n"
           "info: Writing instance.cfg\n"
           "info: Done adding instance!\n"
           "info: Done!\n"
           "Press Enter to exit...\n";
}

std::string logOfWholeRun(const InstallerRun& run) {
    return logOfWholeRun(run.home().instancePath("Lantern Hollow"));
}

// The launcher directory after a whole run, with nothing left of the run's own work.
const std::string wholeTree = "icons/\n"
                              "icons/icon_velkorhub.png\n"
                              "instances/\n"
                              "instances/Lantern Hollow/\n"
                              "instances/Lantern Hollow/instance.cfg\n"
                              "instances/Lantern Hollow/minecraft/\n"
                              "instances/Lantern Hollow/minecraft/servers.dat\n"
                              "instances/Lantern Hollow/mmc-pack.json\n"
                              "instances/Lantern Hollow/tarnvex_client-aarch64-macos\n"
                              "prismlauncher.cfg\n";

mode_t permissions(const std::string& path) {
    struct stat status = {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

class Installer : public ::testing::Test {
protected:
    void SetUp() override {
        run.serveBody("/servers", catalogue);
        run.serveBody(InstallerRun::clientPath, client);
    }

    std::string instanceFile(const std::string& name) const {
        return run.home().instancePath("Lantern Hollow") + "/" + name;
    }

    void expectInstanceWritten() const {
        EXPECT_EQ(readFile(instanceFile("tarnvex_client-aarch64-macos")), client);
        EXPECT_EQ(permissions(instanceFile("tarnvex_client-aarch64-macos")), 0755u);
        EXPECT_EQ(readFile(instanceFile("minecraft/servers.dat")), serversDat);
        EXPECT_EQ(readFile(instanceFile("mmc-pack.json")), test::forgeMmcPack);
        EXPECT_EQ(readFile(instanceFile("instance.cfg")),
                  test::instanceCfgWith("name=Lantern Hollow"));
        EXPECT_EQ(readFile(run.home().launcherPath() + "/icons/icon_velkorhub.png"),
                  readFile(TARNVEX_SOURCE_DIR "/resources/icon_velkorhub.png"));
    }

    InstallerRun run;
    std::string client = clientBody(5000);
};

// A small client arrives within 100 ms of the first frame, unless the machine is slow: then the
// rule lets a later frame through, which is right too. This takes those out.
std::string withoutLateFrames(std::string shown) {
    const std::string first = "\r[#>>>] 0 KiB";
    const std::size_t start = shown.find(first);
    if (start == std::string::npos) {
        return shown;
    }
    const std::size_t late = start + first.size();
    std::size_t end = late;
    // "\r[>#>>] 4 KiB": a carriage return, a six-character frame, a blank, digits, " KiB".
    while (end + 8 < shown.size() && shown.compare(end, 2, "\r[") == 0 && shown[end + 7] == ' ') {
        const std::size_t unit = shown.find(" KiB", end + 8);
        if (unit == std::string::npos || shown.find_first_not_of("0123456789", end + 8) != unit) {
            break;
        }
        end = unit + 4;
    }
    return shown.erase(late, end - late);
}

TEST_F(Installer, WritesTheChosenInstance) {
    const auto result = run.run("2\n\n");
    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    EXPECT_EQ(withoutLateFrames(result.standardOutput),
              test::bannerText() + menu + "SELECT> " + "\r[#>>>] 0 KiB" + wipe + "> ");
    EXPECT_EQ(result.standardError, logOfWholeRun(run));
    expectInstanceWritten();
    EXPECT_EQ(test::listTree(run.home().launcherPath()), wholeTree);
}

TEST_F(Installer, WritesIntoTheFoldersPrismsSettingsName) {
    const test::TempDirectory drive;
    const std::string instances = drive.path() + "/Games, Disk/instances";
    test::makeDirectories(instances);
    test::makeDirectories(drive.path() + "/icons");
    test::writeFile(run.home().launcherPath() + "/prismlauncher.cfg",
                    "[General]\nConfigVersion=1.2\nIconsDir=" + drive.path() +
                        "/icons\nInstanceDir=\"" + instances + "\"\n");
    const auto result = run.run("2\n\n");
    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    EXPECT_EQ(result.standardError, logOfWholeRun(instances + "/Lantern Hollow"));
    EXPECT_EQ(test::listTree(drive.path()),
              "Games, Disk/\n"
              "Games, Disk/instances/\n"
              "Games, Disk/instances/Lantern Hollow/\n"
              "Games, Disk/instances/Lantern Hollow/instance.cfg\n"
              "Games, Disk/instances/Lantern Hollow/minecraft/\n"
              "Games, Disk/instances/Lantern Hollow/minecraft/servers.dat\n"
              "Games, Disk/instances/Lantern Hollow/mmc-pack.json\n"
              "Games, Disk/instances/Lantern Hollow/tarnvex_client-aarch64-macos\n"
              "icons/\n"
              "icons/icon_velkorhub.png\n");
    EXPECT_EQ(test::listTree(run.home().launcherPath()), "instances/\nprismlauncher.cfg\n");
}

TEST_F(Installer, AMissingNamedFolderEndsTheRunBeforeAnythingIsWritten) {
    const test::TempDirectory drive;
    const std::string missing = drive.path() + "/unplugged";
    const std::string cases[][3] = {
        {"InstanceDir", "", "InstanceFolderUnavailable"},
        {"IconsDir", "info: Writing icon_velkrhub.png\n", "IconFolderUnavailable"},
    };
    for (const auto& [key, logged, error] : cases) {
        test::writeFile(run.home().launcherPath() + "/prismlauncher.cfg",
                        "ConfigVersion=1.2\n" + key + "=" + missing + "\n");
        const auto result = run.run("2\n\n");
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.standardError, logged +
                                            "error: A folder named in Prism Launcher's settings "
                                            "is missing (is its drive connected?): " +
                                            missing + "\nerror: " + error + "\n");
        EXPECT_EQ(test::listTree(run.home().launcherPath()), "instances/\nprismlauncher.cfg\n");
        EXPECT_EQ(test::listTree(drive.path()), "");
    }
}

TEST_F(Installer, TheNewInstanceAppearsInInstancesWholeAtOnce) {
#ifndef __linux__
    GTEST_SKIP() << "watches instances/ through inotify";
#else
    // A launcher left open lists a folder of instances/ holding instance.cfg when instances/
    // changes. One queue, in order, sees instances/ and, from the download on, the new instance.
    const int queue = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    ASSERT_GE(queue, 0);
    const std::string instances = run.home().launcherPath() + "/instances";
    const int top = ::inotify_add_watch(queue, instances.c_str(), IN_CREATE | IN_MOVED_TO);
    run.serve(InstallerRun::clientPath, [&](const HttpRequest&, Connection& connection) {
        for (const auto& staging : std::filesystem::directory_iterator(instances)) {
            ::inotify_add_watch(queue, (staging.path() / "Lantern Hollow").c_str(),
                                IN_CREATE | IN_MOVED_TO);
        }
        connection.write(httpResponse(200, "OK", {}, client));
    });
    const auto result = run.run("2\n\n");
    ASSERT_EQ(result.exitStatus, 0) << result.standardError;
    std::string seen;
    alignas(inotify_event) char events[65536];
    const ssize_t size = ::read(queue, events, sizeof events);
    ::close(queue);
    for (ssize_t at = 0; at < size;) {
        const auto* event = reinterpret_cast<const inotify_event*>(events + at);
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        if (event->len > 0 && event->name[0] != '.') {
            seen += (event->mask & IN_CREATE ? "made in " : "moved into ") +
                    (event->wd == top ? "instances/: "s : "the instance: "s) + event->name + "\n";
        }
    }
    EXPECT_EQ(seen, "moved into the instance: tarnvex_client-aarch64-macos\n"
                    "made in the instance: minecraft\n"
                    "moved into the instance: mmc-pack.json\n"
                    "moved into the instance: instance.cfg\n"
                    "moved into instances/: Lantern Hollow\n");
    expectInstanceWritten();
#endif
}

TEST_F(Installer, OverwriteKeepsWorldsAndModsAndWritesTheSameFiles) {
    ASSERT_EQ(run.run("2\n\n").exitStatus, 0);
    const std::string instance = run.home().instancePath("Lantern Hollow");
    test::makeDirectories(instance + "/minecraft/saves/World 1");
    test::writeFile(instance + "/minecraft/saves/World 1/level.dat", "level\0data"s);
    test::makeDirectories(instance + "/minecraft/mods");
    test::writeFile(instance + "/minecraft/mods/sodium.jar", "PK\x03\x04 jar");
    test::writeFile(instance + "/mmc-pack.json", "stale");
    test::writeFile(instance + "/tarnvex_client-aarch64-macos", "old client");

    const auto result = run.run("2\n2\n\n");
    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    EXPECT_EQ(withoutLateFrames(result.standardOutput), test::bannerText() + menu + "SELECT> " +
                                                            existsMenu + "SELECT> " +
                                                            "\r[#>>>] 0 KiB" + wipe + "> ");
    const std::string log = logOfWholeRun(run);
    const std::size_t afterCatalogue = log.find("info: Downloading");
    EXPECT_EQ(result.standardError,
              log.substr(0, afterCatalogue) +
                  "warning: Chosen Minecraft server instance \"Lantern Hollow\" already exists.\n" +
                  log.substr(afterCatalogue));
    expectInstanceWritten();
    EXPECT_EQ(readFile(instance + "/minecraft/saves/World 1/level.dat"), "level\0data"s);
    EXPECT_EQ(readFile(instance + "/minecraft/mods/sodium.jar"), "PK\x03\x04 jar");
}

TEST_F(Installer, TwoRunsAtOnceBothEndWithTheWholeInstance) {
    // The first run's download waits until a second one, beside it, is done: fresh, the second
    // takes the name first; overwriting, its start meets the first's temporary.
    for (const std::string typed : {"2\n\n", "2\n2\n\n"}) {
        SCOPED_TRACE(typed);
        std::atomic<int> downloads = 0;
        std::atomic<bool> secondDone = false;
        run.serve(InstallerRun::clientPath, [&](const HttpRequest&, Connection& connection) {
            const bool isFirst = downloads++ == 0;
            while (isFirst && !secondDone) {
                if (!connection.sleepFor(std::chrono::milliseconds(5))) {
                    return;
                }
            }
            connection.write(httpResponse(200, "OK", {}, client));
        });
        auto options = run.options(typed);
        options.environment.back().second = "60"; // the stall allowed, while the second runs
        auto first = std::async(std::launch::async,
                                [&] { return test::runProcess(TARNVEX_TESTBED_PATH, options); });
        while (downloads == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        const auto second = run.run(typed);
        secondDone = true;
        const auto firstResult = first.get();
        EXPECT_EQ(second.exitStatus, 0) << second.standardError;
        EXPECT_EQ(firstResult.exitStatus, 0) << firstResult.standardError;
        expectInstanceWritten();
        EXPECT_EQ(test::listTree(run.home().launcherPath()), wholeTree);
    }
}

TEST_F(Installer, QuitLeavesTheExistingInstanceAlone) {
    test::makeDirectories(run.home().instancePath("Lantern Hollow"));
    test::writeFile(instanceFile("instance.cfg"), "mine");
    const auto result = run.run("2\n3\n");
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.standardOutput,
              test::bannerText() + menu + "SELECT> " + existsMenu + "SELECT> ");
    EXPECT_EQ(result.standardError,
              "info: Writing icon_velkrhub.png\n"
              "info: Checking for Minecraft server instances on remote...\n"
              "warning: Chosen Minecraft server instance \"Lantern Hollow\" already exists.\n");
    EXPECT_EQ(readFile(instanceFile("instance.cfg")), "mine");
}

TEST_F(Installer, EmptyCatalogueEndsNormallyWithNothingCreated) {
    run.serveBody("/servers", "[]");
    const auto result = run.run("\n");
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.standardOutput, test::bannerText() + "> ");
    EXPECT_EQ(result.standardError, "info: Writing icon_velkrhub.png\n"
                                    "info: Checking for Minecraft server instances on remote...\n"
                                    "info: No available Minecraft instances on the server.\n"
                                    "info: Nothing to do.\n"
                                    "info: Done!\n"
                                    "Press Enter to exit...\n");
    EXPECT_EQ(test::listTree(run.home().launcherPath() + "/instances"), "");
}

TEST_F(Installer, EndOfInputAtTheMenuEndsTheRun) {
    const auto result = run.run("");
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.standardOutput, test::bannerText() + menu + "SELECT> \n");
    EXPECT_TRUE(result.standardError.ends_with("\nerror: EndOfStream\n"));
}

TEST_F(Installer, ReportsAFailedCatalogueRequest) {
    run.serve("/servers", [](const HttpRequest&, Connection& connection) {
        connection.write(httpResponse(404, "Not Found", {}, "no catalogue here"));
    });
    const auto result = run.run("");
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.standardError, "info: Writing icon_velkrhub.png\n"
                                    "info: Checking for Minecraft server instances on remote...\n"
                                    "error: (HTTP 404 Not Found) Failed to GET \"" +
                                        run.catalogueUrl() +
                                        "\"\n"
                                        "error: NetworkError\n");
}

TEST_F(Installer, AMissingClientKeepsTheOldOne) {
    test::makeDirectories(run.home().instancePath("Lantern Hollow"));
    test::writeFile(instanceFile("tarnvex_client-aarch64-macos"), "working client");
    run.serve(InstallerRun::clientPath, [](const HttpRequest&, Connection& connection) {
        connection.write(httpResponse(404, "Not Found", {}, "gone"));
    });
    const auto result = run.run("2\n2\n");
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_TRUE(result.standardError.ends_with("error: HTTP 404: URL \"" + run.downloadUrl() +
                                               "\" invalid?\nerror: ConnectionRefused\n"))
        << result.standardError;
    EXPECT_EQ(readFile(instanceFile("tarnvex_client-aarch64-macos")), "working client");
    EXPECT_EQ(test::listTree(run.home().instancePath("Lantern Hollow")),
              "tarnvex_client-aarch64-macos\n");
}

TEST_F(Installer, AMissingClientLeavesNoNewInstanceAndTheNextRunStartsAfresh) {
    run.serve(InstallerRun::clientPath, [](const HttpRequest&, Connection& connection) {
        connection.write(httpResponse(404, "Not Found", {}, "gone"));
    });
    EXPECT_EQ(run.run("2\n").exitStatus, 1);
    EXPECT_EQ(test::listTree(run.home().launcherPath() + "/instances"), "");
    // As a run killed while it built the instance leaves it.
    const std::string leftover = run.home().instancePath(".tarnvex-staging-a1B2c3/Lantern Hollow");
    test::makeDirectories(leftover);
    test::writeFile(leftover + "/instance.cfg", "half made");
    run.serveBody(InstallerRun::clientPath, client);
    const auto result = run.run("2\n\n");
    EXPECT_EQ(result.standardError, logOfWholeRun(run));
    expectInstanceWritten();
    EXPECT_EQ(test::listTree(run.home().launcherPath()), wholeTree);
}

TEST_F(Installer, AShortClientIsAFailureThatKeepsTheOldOne) {
    test::makeDirectories(run.home().instancePath("Lantern Hollow"));
    test::writeFile(instanceFile("tarnvex_client-aarch64-macos"), "working client");
    const std::string body = client;
    run.serve(InstallerRun::clientPath, [body](const HttpRequest&, Connection& connection) {
        connection.write(
            httpResponse(200, "OK", {{"content-length", "5000"}}, body.substr(0, 1000)));
        connection.close();
    });
    const auto result = run.run("2\n2\n");
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_TRUE(withoutLateFrames(result.standardOutput).ends_with("\r[#>>>] 0 KiB" + wipe));
    EXPECT_TRUE(result.standardError.ends_with(
        "warning: Did not read all file content. (expected: 5000, actual: 1000)\n"
        "error: IncompleteDownload\n"))
        << result.standardError;
    EXPECT_EQ(readFile(instanceFile("tarnvex_client-aarch64-macos")), "working client");
    EXPECT_EQ(test::listTree(run.home().instancePath("Lantern Hollow")),
              "tarnvex_client-aarch64-macos\n");
}

// The download asks for no coding, but a server may apply one anyway (Apache with mod_deflate
// forced on sends gzip, chunked): the executable is what gets installed.
test::Handler codedClient(const std::string& coding, const std::string& body, bool chunked) {
    const std::string coded = test::compressed(coding, body);
    return [coding, coded, chunked](const HttpRequest&, Connection& connection) {
        if (chunked) {
            connection.write(httpResponse(
                200, "OK", {{"Content-Encoding", coding}, {"transfer-encoding", "chunked"}},
                test::chunkedBody(coded, 1000)));
        } else {
            connection.write(httpResponse(200, "OK", {{"Content-Encoding", coding}}, coded));
        }
    };
}

TEST_F(Installer, InstallsAChunkedEmptyRedirectedOrCodedClient) {
    const std::string body = client;
    // Large enough that a coded body arrives in many pieces and decodes in many more.
    const std::string large = clientBody(600 * 1024);
    const struct {
        const char* name;
        test::Handler handler;
        std::string expected;
    } cases[] = {
        {"gzip, chunked", codedClient("gzip", large, true), large},
        {"gzip", codedClient("gzip", large, false), large},
        {"deflate", codedClient("deflate", large, false), large},
        {"zstd, chunked", codedClient("zstd", large, true), large},
        {"chunked",
         [body](const HttpRequest&, Connection& connection) {
             connection.write(httpResponse(200, "OK", {{"transfer-encoding", "chunked"}},
                                           test::chunkedBody(body, 777)));
         },
         body},
        {"empty",
         [](const HttpRequest&, Connection& connection) {
             connection.write(httpResponse(200, "OK", {}, ""));
         },
         ""},
        {"redirected",
         [](const HttpRequest&, Connection& connection) {
             connection.write(httpResponse(302, "Found", {{"location", "/moved/client"}}, ""));
         },
         body},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InstallerRun fresh;
        fresh.serveBody("/servers", catalogue);
        fresh.serve(InstallerRun::clientPath, c.handler);
        fresh.serveBody("/moved/client", body);
        const auto result = fresh.run("2\n\n");
        EXPECT_EQ(result.exitStatus, 0) << result.standardError;
        EXPECT_EQ(result.standardError, logOfWholeRun(fresh));
        const std::string path =
            fresh.home().instancePath("Lantern Hollow") + "/tarnvex_client-aarch64-macos";
        EXPECT_EQ(readFile(path), c.expected);
        EXPECT_EQ(permissions(path), 0755u);
    }
}

TEST_F(Installer, ASlowClientShowsTheSpinnerTurning) {
    const std::string body = clientBody(64 * 1024);
    run.serve(InstallerRun::clientPath, [body](const HttpRequest&, Connection& connection) {
        connection.write("HTTP/1.1 200 OK\r\ncontent-length: " + std::to_string(body.size()) +
                         "\r\n\r\n");
        // About a second, in sixteen pieces.
        for (std::size_t offset = 0; offset < body.size(); offset += 4096) {
            connection.write(body.substr(offset, 4096));
            if (!connection.sleepFor(std::chrono::milliseconds(70))) {
                return;
            }
        }
    });
    const auto result = run.run("2\n\n");
    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    const std::string& shown = result.standardOutput;
    EXPECT_NE(shown.find("\r[#>>>] 0 KiB\r[>#>>] "), std::string::npos) << shown;
    EXPECT_NE(shown.find("\r[>>>>] "), std::string::npos) << shown;
    EXPECT_TRUE(shown.ends_with(wipe + "> "));
    EXPECT_EQ(readFile(instanceFile("tarnvex_client-aarch64-macos")), body);
}

TEST_F(Installer, AClientInAnUnknownOrCorruptCodingKeepsTheOldOne) {
    const std::string gzip = test::compressed("gzip", client);
    const struct {
        const char* coding;
        std::string body;
        const char* error;
    } cases[] = {
        {"compress", client, "error: UnsupportedCompressionMethod\n"},
        {"br", client, "error: UnsupportedCompressionMethod\n"},
        {"gzip", "not gzip at all", "error: DecompressionFailed\n"},
        // Whole as far as its content-length goes, but the stream inside stops short.
        {"gzip", gzip.substr(0, gzip.size() / 2), "error: DecompressionFailed\n"},
    };
    test::makeDirectories(run.home().instancePath("Lantern Hollow"));
    test::writeFile(instanceFile("tarnvex_client-aarch64-macos"), "working client");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.coding + " of "s + std::to_string(c.body.size()) + " bytes");
        run.serve(InstallerRun::clientPath, [c](const HttpRequest&, Connection& connection) {
            connection.write(httpResponse(200, "OK", {{"content-encoding", c.coding}}, c.body));
        });
        const auto result = run.run("2\n2\n");
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_TRUE(result.standardError.ends_with(c.error)) << result.standardError;
        EXPECT_EQ(readFile(instanceFile("tarnvex_client-aarch64-macos")), "working client");
        EXPECT_EQ(test::listTree(run.home().instancePath("Lantern Hollow")),
                  "tarnvex_client-aarch64-macos\n");
    }
}

TEST_F(Installer, AClientOverItsLimitKeepsTheOldOne) {
    // The product's limit is 1 GiB; the testbed takes a smaller one.
    auto options = run.options("2\n2\n");
    options.environment.emplace_back("TARNVEX_TESTBED_CLIENT_LIMIT", "65536");
    test::makeDirectories(run.home().instancePath("Lantern Hollow"));
    test::writeFile(instanceFile("tarnvex_client-aarch64-macos"), "working client");
    const std::pair<const char*, test::Handler> cases[] = {
        {"identity", codedClient("identity", clientBody(65537), false)},
        {"chunked", codedClient("identity", clientBody(65537), true)},
        {"zstd", codedClient("zstd", clientBody(65537), false)},
        {"gzip, chunked", codedClient("gzip", clientBody(65537), true)},
        // Refused on its head, with the first byte: the rest never comes.
        {"advertised", [](const HttpRequest&, Connection& connection) {
             connection.write("HTTP/1.1 200 OK\r\ncontent-length: 65537\r\n\r\nM");
         }}};
    for (const auto& [name, handler] : cases) {
        SCOPED_TRACE(name);
        run.serve(InstallerRun::clientPath, handler);
        const auto result = test::runProcess(TARNVEX_TESTBED_PATH, options);
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_TRUE(result.standardError.ends_with(
            "error: The tarnvex client is over the limit of 64 KiB.\nerror: ClientTooLarge\n"))
            << result.standardError;
        EXPECT_TRUE(result.standardOutput.ends_with(wipe)) << result.standardOutput;
        EXPECT_EQ(readFile(instanceFile("tarnvex_client-aarch64-macos")), "working client");
        EXPECT_EQ(test::listTree(run.home().instancePath("Lantern Hollow")),
                  "tarnvex_client-aarch64-macos\n");
    }
    run.serve(InstallerRun::clientPath, codedClient("identity", clientBody(65536), false));
    EXPECT_EQ(test::runProcess(TARNVEX_TESTBED_PATH, options).exitStatus, 0);
    EXPECT_EQ(readFile(instanceFile("tarnvex_client-aarch64-macos")), clientBody(65536));
}

TEST_F(Installer, ProxyAndKeyLogVariablesChangeNothing) {
    // Nothing listens there: a request sent through it would fail the run.
    const test::RefusingPort refusing;
    const std::string deadProxy = "127.0.0.1:" + std::to_string(refusing.port());
    const std::pair<std::string, std::string> variables[] = {
        {"https_proxy", "http://" + deadProxy}, {"HTTPS_PROXY", "http://" + deadProxy},
        {"ALL_PROXY", "http://" + deadProxy},   {"all_proxy", "socks5h://" + deadProxy},
        {"http_proxy", "http://" + deadProxy},
    };
    for (const auto& variable : variables) {
        SCOPED_TRACE(variable.first);
        InstallerRun fresh;
        fresh.serveBody("/servers", catalogue);
        fresh.serveBody(InstallerRun::clientPath, client);
        const std::string keyLog = fresh.home().home() + "/tls-keys.log";
        auto options = fresh.options("2\n\n");
        options.environment.push_back(variable);
        options.environment.emplace_back("SSLKEYLOGFILE", keyLog);
        const auto result = test::runProcess(TARNVEX_TESTBED_PATH, options);
        EXPECT_EQ(result.exitStatus, 0) << result.standardError;
        EXPECT_EQ(result.standardError, logOfWholeRun(fresh));
        EXPECT_FALSE(test::pathExists(keyLog));
    }
}

} // namespace
} // namespace tarnvex
