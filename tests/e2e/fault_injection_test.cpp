// Faults injected into whole runs of the testbed over an existing instance: a failing server,
// failing writes, an ended input and a killed process. Whatever happens, every earlier file stays
// whole or is wholly replaced, nothing lands outside the launcher directory, and the next run
// repairs everything.

#include "support/installer_run.h"
#include "support/trusted_server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarnvex {
namespace {

using test::catalogueWith;
using test::clientBody;
using test::Connection;
using test::HttpRequest;
using test::httpResponse;
using test::InstallerRun;
using test::ProcessOptions;
using test::readFile;

const std::string instanceDir = "instances/Lantern Hollow/";
const std::string iconFile = "icons/icon_velkorhub.png";
const std::string clientFile = instanceDir + "tarnvex_client-aarch64-macos";
const std::string serversDatFile = instanceDir + "minecraft/servers.dat";
const std::string mmcPackFile = instanceDir + "mmc-pack.json";
const std::string instanceCfgFile = instanceDir + "instance.cfg";
// Everything the installer replaces, relative to the launcher directory.
const std::string replacedFiles[] = {iconFile, clientFile, serversDatFile, mmcPackFile,
                                     instanceCfgFile};
const std::string worldFile = instanceDir + "minecraft/saves/World/level.dat";

// Picks "Lantern Hollow", overwrites it and leaves at the last prompt.
const std::string overwrite = "2\n2\n\n";

const std::string standardCatalogue = catalogueWith("mc.example.org:25565", "52.0.16");

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> split;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        split.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return split;
}

using Snapshot = std::map<std::string, std::string>;

// One home holding an existing "Lantern Hollow" with known old files, and its service.
class FaultRun {
public:
    explicit FaultRun(std::string catalogue = standardCatalogue, std::size_t clientSize = 5000)
        : catalogue_(std::move(catalogue)), client_(clientBody(clientSize)) {
        serveNormally();
        plantOldInstance();
        outside_ = filesOutsideLauncher();
    }

    void serveNormally() {
        run.serveBody("/servers", catalogue_);
        run.serveBody(InstallerRun::clientPath, client_);
    }

    void plantOldInstance() const {
        test::makeDirectories(path(instanceDir + "minecraft/saves/World"));
        test::makeDirectories(path("icons"));
        for (const std::string& file : replacedFiles) {
            test::writeFile(path(file), "old " + file);
        }
        test::writeFile(path(worldFile), "level data");
    }

    std::string path(const std::string& relative) const {
        return run.home().launcherPath() + "/" + relative;
    }

    Snapshot snapshot() const {
        Snapshot files;
        for (const std::string& file : replacedFiles) {
            struct stat status = {};
            if (::stat(path(file).c_str(), &status) != 0) {
                files[file] = "<missing>";
            } else if (S_ISDIR(status.st_mode)) {
                files[file] = "<directory>";
            } else {
                files[file] = readFile(path(file));
            }
        }
        return files;
    }

    std::string filesOutsideLauncher() const {
        const std::string launcher =
            run.home().launcherPath().substr(run.home().home().size() + 1) + "/";
        std::string outside;
        for (const std::string& line : lines(test::listTree(run.home().home()))) {
            if (!line.starts_with(launcher)) {
                outside += line + "\n";
            }
        }
        return outside;
    }

    // Hidden temporaries of an atomic replacement, anywhere under the launcher directory.
    std::string staleTemporaries() const {
        std::string stale;
        for (const std::string& line : lines(test::listTree(run.home().launcherPath()))) {
            const std::string_view path =
                std::string_view(line).substr(0, line.size() - (line.ends_with('/') ? 1 : 0));
            const std::string_view name = path.substr(path.rfind('/') + 1);
            if (name.starts_with('.') && name.find(".tarnvex-") != std::string_view::npos) {
                stale += line + "\n";
            }
        }
        return stale;
    }

    /// The hidden temporary of an atomic replacement of `file`, or "" while there is none.
    std::string temporaryOf(const std::string& file) const {
        const std::size_t slash = file.rfind('/');
        const std::string prefix = "." + file.substr(slash + 1) + ".tarnvex-";
        for (const auto& entry : std::filesystem::directory_iterator(path(file.substr(0, slash)))) {
            if (const std::string name = entry.path().filename().string();
                name.starts_with(prefix)) {
                return file.substr(0, slash + 1) + name;
            }
        }
        return "";
    }

    /// After a fault: nothing outside, then a normal run that succeeds, leaves no temporary
    /// behind, and writes the files that each of `afterFault` either kept from `before` or
    /// already matched.
    void expectRecovery(const Snapshot& before, const Snapshot& afterFault) {
        EXPECT_EQ(filesOutsideLauncher(), outside_);
        serveNormally();
        const auto result = run.run(overwrite);
        EXPECT_EQ(result.exitStatus, 0) << result.standardError;
        EXPECT_TRUE(result.standardError.ends_with("info: Done!\nPress Enter to exit...\n"))
            << result.standardError;
        const Snapshot recovered = snapshot();
        EXPECT_EQ(recovered.at(clientFile), client_);
        EXPECT_EQ(recovered.at(iconFile),
                  readFile(TARNVEX_SOURCE_DIR "/resources/icon_velkorhub.png"));
        for (const std::string& file : replacedFiles) {
            const std::string& seen = afterFault.at(file);
            EXPECT_TRUE(seen == before.at(file) || seen == recovered.at(file))
                << file << " is neither what it was nor what a good run writes: " << seen.size()
                << " bytes starting \"" << seen.substr(0, 40) << "\"";
        }
        EXPECT_EQ(readFile(path(worldFile)), "level data");
        EXPECT_EQ(staleTemporaries(), "");
        EXPECT_EQ(filesOutsideLauncher(), outside_);
    }

    InstallerRun run;

private:
    std::string catalogue_;
    std::string client_;
    std::string outside_;
};

void setVariable(ProcessOptions& options, const std::string& name, const std::string& value) {
    for (auto& [key, current] : options.environment) {
        if (key == name) {
            current = value;
        }
    }
}

struct Fault {
    std::string name;
    /// The last line the player sees on stderr; anything but an error line ends with status 0.
    std::string lastLine;
    /// How the line before it starts: the step that failed.
    std::string failedStep;
    /// How many of `replacedFiles`, in the order they are written, the run replaced.
    std::size_t replaced;
    std::function<void(FaultRun&, ProcessOptions&, test::TrustedServer&)> inject;
    std::string catalogue = standardCatalogue;
    std::size_t clientSize = 5000;
    /// Takes away what the fault put in the launcher directory, before the next run.
    std::function<void(FaultRun&)> clear = {};
};

void serveRaw(FaultRun& f, const std::string& path, std::string bytes) {
    f.run.serve(path, [bytes = std::move(bytes)](const HttpRequest&, Connection& connection) {
        connection.write(bytes);
        connection.close();
    });
}

std::string truncatedResponse(const std::string& body, std::size_t sent) {
    return httpResponse(200, "OK", {{"content-length", std::to_string(body.size())}},
                        std::string_view(body).substr(0, sent));
}

auto answering(const std::string& path, std::string bytes) {
    return [path, bytes](FaultRun& f, ProcessOptions&, test::TrustedServer&) {
        serveRaw(f, path, bytes);
    };
}

auto typing(std::string typed) {
    return [typed](FaultRun&, ProcessOptions& options, test::TrustedServer&) {
        options.standardInput = typed;
    };
}

auto limitingFilesTo(long bytes) {
    return [bytes](FaultRun&, ProcessOptions& options, test::TrustedServer&) {
        options.fileSizeLimit = bytes;
    };
}

auto cuttingHandshakesOf(std::string variable, std::string path) {
    return [variable, path](FaultRun&, ProcessOptions& options, test::TrustedServer& cutter) {
        setVariable(options, variable, cutter.url(path));
    };
}

// The request goes to the service's address, whose certificate the testbed's verifier refuses.
auto distrusting(std::string variable, std::string path) {
    return [variable, path](FaultRun& f, ProcessOptions& options, test::TrustedServer&) {
        setVariable(options, variable,
                    "https://127.0.0.1:" + std::to_string(f.run.server().port()) + path);
        options.environment.emplace_back("TARNVEX_TESTBED_DISTRUSTED_HOST", "127.0.0.1");
    };
}

constexpr long iconSize = 38796;
const std::string checking = "info: Checking for Minecraft server instances on remote...";
const std::string downloading = "info: Downloading tarnvex client to ";

std::vector<Fault> faults() {
    const std::string client = clientBody(5000);
    return {
        {"connection closed in the status line", "error: EndOfStream", checking, 1,
         answering("/servers", "HTTP/1.1 20")},
        {"connection closed in the client's status line", "error: EndOfStream", downloading, 1,
         answering(InstallerRun::clientPath, "HTTP/1.1 20")},
        {"connection closed in the head after the length", "error: HttpHeadersInvalid", checking, 1,
         answering("/servers", "HTTP/1.1 200 OK\r\ncontent-length: 5\r\n")},
        // libcurl alone would take these for whole heads with empty bodies.
        {"connection closed in the catalogue's head", "error: HttpHeadersInvalid", checking, 1,
         answering("/servers", "HTTP/1.1 200 OK\r\ncontent-le")},
        {"connection closed in the client's head", "error: HttpHeadersInvalid", downloading, 1,
         answering(InstallerRun::clientPath, "HTTP/1.1 200 OK\r\ncontent-le")},
        {"connection closed in the catalogue body", "error: IncompleteDownload", checking, 1,
         answering("/servers", truncatedResponse(standardCatalogue, 100))},
        {"connection closed in the client body", "error: IncompleteDownload",
         "warning: Did not read all file content. (expected: 5000, actual: 3000)", 1,
         answering(InstallerRun::clientPath, truncatedResponse(client, 3000))},
        {"garbage response head", "error: HttpHeadersInvalid", checking, 1,
         answering("/servers", "\x01\x02 no status line here\r\n\r\n{}")},
        {"TLS handshake cut off (catalogue)", "error: TlsFailure", checking, 1,
         cuttingHandshakesOf("TARNVEX_TESTBED_CATALOGUE_URL", "/servers")},
        {"TLS handshake cut off (client)", "error: TlsFailure", downloading, 1,
         cuttingHandshakesOf("TARNVEX_TESTBED_DOWNLOAD_URL", InstallerRun::clientPath)},
        {"certificate refused (catalogue)", "error: TlsCertificateNotTrusted",
         "error: Certificate of 127.0.0.1 not trusted: the testbed distrusts this host", 1,
         distrusting("TARNVEX_TESTBED_CATALOGUE_URL", "/servers")},
        {"certificate refused (client)", "error: TlsCertificateNotTrusted",
         "error: Certificate of 127.0.0.1 not trusted: the testbed distrusts this host", 1,
         distrusting("TARNVEX_TESTBED_DOWNLOAD_URL", InstallerRun::clientPath)},
        {"icon write fails", "error: FileTooBig", "info: Writing icon_velkrhub.png", 0,
         limitingFilesTo(iconSize - 1)},
        {"sync client write fails", "error: FileTooBig", downloading, 1, limitingFilesTo(60000),
         standardCatalogue, 100000},
        {"servers.dat write fails", "error: FileTooBig", "info: Writing minecraft/servers.dat", 2,
         limitingFilesTo(50000),
         catalogueWith(std::string(60000, 'a') + ".example.org", "52.0.16")},
        {"mmc-pack.json write fails", "error: FileTooBig", "info: Writing mmc-pack.json", 3,
         limitingFilesTo(50000),
         catalogueWith("mc.example.org", "52.0." + std::string(30000, '1'))},
        {"instance.cfg cannot replace a directory", "error: IsDir", "info: Writing instance.cfg", 4,
         [](FaultRun& f, ProcessOptions&, test::TrustedServer&) {
             ASSERT_EQ(::unlink(f.path(instanceCfgFile).c_str()), 0);
             test::makeDirectories(f.path(instanceCfgFile) + "/inside");
         },
         standardCatalogue, 5000,
         [](FaultRun& f) {
             ASSERT_EQ(::rmdir(f.path(instanceCfgFile + "/inside").c_str()), 0);
             ASSERT_EQ(::rmdir(f.path(instanceCfgFile).c_str()), 0);
         }},
        {"input ends at the menu", "error: EndOfStream", checking, 1, typing("")},
        {"input ends inside the menu answer", "error: EndOfStream", checking, 1, typing("2")},
        {"input ends at the exists menu", "error: EndOfStream",
         "warning: Chosen Minecraft server instance \"Lantern Hollow\" already exists.", 1,
         typing("2\n")},
        {"input ends at the last prompt", "Press Enter to exit...", "info: Done!", 5,
         typing("2\n2\n")},
    };
}

void PrintTo(const Fault& fault, std::ostream* out) {
    *out << fault.name;
}

// "TLS handshake cut off (client)" becomes TLSHandshakeCutOffClient.
std::string caseName(const testing::TestParamInfo<Fault>& info) {
    std::string name;
    bool wordStart = true;
    for (const char c : info.param.name) {
        const bool letter = std::isalnum(static_cast<unsigned char>(c)) != 0;
        if (letter) {
            name.push_back(wordStart ? static_cast<char>(std::toupper(c)) : c);
        }
        wordStart = !letter && c != '\'';
    }
    return name;
}

class FaultMatrix : public testing::TestWithParam<Fault> {
protected:
    /// `killed` leaves SIGXFSZ to end the run at the write that would otherwise fail.
    void expectEndsClearlyAndRepairs(bool killed) {
        const Fault& fault = GetParam();
        FaultRun f(fault.catalogue, fault.clientSize);
        // A second service that drops every connection partway into the TLS handshake.
        test::TrustedServer cutter([](const HttpRequest&, Connection&) {},
                                   {.closeDuringHandshake = true});
        ProcessOptions options = f.run.options(overwrite);
        fault.inject(f, options, cutter);
        options.fileSizeLimitKills = killed;
        const Snapshot before = f.snapshot();

        const auto result = test::runProcess(TARNVEX_TESTBED_PATH, options);
        const std::vector<std::string> logged = lines(result.standardError);
        const Snapshot afterFault = f.snapshot();
        for (std::size_t i = 0; i < std::size(replacedFiles); ++i) {
            const std::string& file = replacedFiles[i];
            EXPECT_EQ(afterFault.at(file) != before.at(file), i < fault.replaced) << file;
        }
        if (killed) {
            EXPECT_EQ(result.signal, SIGXFSZ) << result.standardError;
            ASSERT_FALSE(logged.empty());
            EXPECT_TRUE(logged.back().starts_with(fault.failedStep)) << result.standardError;
            // Killed halfway through one file, whose temporary alone stays.
            const std::string& interrupted = replacedFiles[fault.replaced];
            EXPECT_EQ(f.staleTemporaries(), f.temporaryOf(interrupted) + "\n") << interrupted;
        } else {
            ASSERT_GE(logged.size(), 2u) << result.standardError;
            EXPECT_EQ(logged.back(), fault.lastLine) << result.standardError;
            EXPECT_TRUE(logged[logged.size() - 2].starts_with(fault.failedStep))
                << result.standardError;
            EXPECT_EQ(result.exitStatus, fault.lastLine.starts_with("error: ") ? 1 : 0);
            // A failure cleans up after itself.
            EXPECT_EQ(f.staleTemporaries(), "");
        }
        if (fault.clear) {
            fault.clear(f);
        }
        f.expectRecovery(before, afterFault);
    }
};

TEST_P(FaultMatrix, EndsClearlyAndTheNextRunRepairs) {
    expectEndsClearlyAndRepairs(false);
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrix, testing::ValuesIn(faults()), caseName);

class KilledMidWrite : public FaultMatrix {};

TEST_P(KilledMidWrite, LeavesEachFileOldOrNewAndTheNextRunRepairs) {
    expectEndsClearlyAndRepairs(true);
}

std::vector<Fault> failedWrites() {
    std::vector<Fault> writes = faults();
    std::erase_if(writes, [](const Fault& fault) { return fault.lastLine != "error: FileTooBig"; });
    return writes;
}

INSTANTIATE_TEST_SUITE_P(Faults, KilledMidWrite, testing::ValuesIn(failedWrites()), caseName);

// The child a route ends with a signal from the server's thread while the test waits for it.
class KillTarget {
public:
    explicit KillTarget(int signal) : signal_(signal) {}
    void aim(test::ChildProcess* child) {
        const std::lock_guard guard(lock_);
        child_ = child;
    }
    void kill() {
        const std::lock_guard guard(lock_);
        if (child_ != nullptr) {
            child_->kill(signal_);
        }
    }

private:
    int signal_;
    std::mutex lock_;
    test::ChildProcess* child_ = nullptr;
};

// The hidden temporary of the client being downloaded, in place or in a staging folder.
std::string clientTemporary(const FaultRun& f) {
    for (const std::string& line : lines(f.staleTemporaries())) {
        if (line.find("/.tarnvex_client-aarch64-macos.tarnvex-") != std::string::npos) {
            return line;
        }
    }
    return "";
}

TEST(FaultInjection, EndedDuringTheDownloadKeepsTheOldClientOrMakesNoInstance) {
    // SIGKILL leaves its temporary, or its staging folder, to the next run; the signals a player
    // sends (Ctrl-C, kill, a closed Terminal window, Ctrl-\) have them removed before the run ends.
    for (const bool fresh : {false, true}) {
        for (const int signal : {SIGKILL, SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
            SCOPED_TRACE(testing::Message()
                         << (fresh ? "new instance, " : "") << "signal " << signal);
            KillTarget target(signal);
            FaultRun f;
            if (fresh) {
                std::filesystem::remove_all(f.path(instanceDir));
            }
            const Snapshot before = f.snapshot();
            const std::string body = clientBody(100000);
            constexpr std::size_t sent = 60000;
            // The service holds the rest of the body back until part of it is in the temporary.
            f.run.serve(InstallerRun::clientPath, [&](const HttpRequest&, Connection& connection) {
                connection.write(truncatedResponse(body, sent));
                while (clientTemporary(f).empty() || readFile(f.path(clientTemporary(f))).empty()) {
                    if (!connection.sleepFor(std::chrono::milliseconds(1))) {
                        return;
                    }
                }
                target.kill();
            });
            test::ChildProcess process(TARNVEX_TESTBED_PATH,
                                       f.run.options(fresh ? "2\n\n" : overwrite));
            target.aim(&process);
            const auto result = process.wait();
            target.aim(nullptr);
            f.serveNormally();

            EXPECT_EQ(result.signal, signal) << result.standardError;
            const Snapshot afterFault = f.snapshot();
            EXPECT_EQ(afterFault.at(clientFile), before.at(clientFile));
            if (signal == SIGKILL) {
                // What the killed run left is what the next one has to clear away.
                const std::string temporary = clientTemporary(f);
                ASSERT_FALSE(temporary.empty());
                if (!fresh) {
                    EXPECT_EQ(f.staleTemporaries(), temporary + "\n");
                }
                const std::string held = readFile(f.path(temporary));
                EXPECT_TRUE(!held.empty() && held.size() <= sent && body.starts_with(held))
                    << held.size();
                // A run that adds another instance clears it away.
                const auto other = f.run.run("1\n\n");
                EXPECT_EQ(other.exitStatus, 0) << other.standardError;
                EXPECT_EQ(f.staleTemporaries(), "");
            } else {
                EXPECT_EQ(f.staleTemporaries(), "");
                if (fresh) {
                    EXPECT_EQ(test::listTree(f.path("instances")), "");
                }
            }
            if (fresh) {
                // Another run made the instance meanwhile, so the next one overwrites it.
                f.plantOldInstance();
            }
            f.expectRecovery(before, afterFault);
        }
    }
}

} // namespace
} // namespace tarnvex
