#include "platform/directory_syncs.h"

#include "add_instance.h"
#include "instance/make_open_dir.h"
#include "platform/atomic_file.h"
#include "platform/disk_sync.h"
#include "support/fails_with.h"
#include "support/installer_run.h"
#include "support/memory_console.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarnvex {
namespace {

using test::FailsWith;
using test::listTree;
using test::TempDirectory;

// Names each step; a directory by its path below `root`.
class StepList final : public DiskStepWatcher {
public:
    explicit StepList(std::string root) : root_(std::move(root)) {}

    void made(DiskStep step, int fd, std::string_view name) override {
        struct stat viaFd = {};
        (void)::fstat(fd, &viaFd);
        for (const char* directory : {".", "made", "made/deeper"}) {
            struct stat viaPath = {};
            if (step == DiskStep::DirectorySync &&
                ::stat((root_ + "/" + directory).c_str(), &viaPath) == 0 &&
                viaPath.st_ino == viaFd.st_ino) {
                name = directory;
            }
        }
        if (step == DiskStep::DirectorySync) {
            syncedDirectories.insert(viaFd.st_ino);
        }
        static constexpr std::array verbs = {"write ", "sync ", "rename ", "sync dir ", "flush"};
        steps.push_back(verbs.at(static_cast<std::size_t>(step)) + std::string(name));
    }

    std::vector<std::string> steps;
    std::set<ino_t> syncedDirectories;

private:
    std::string root_;
};

// Stand-ins for a file system's answers.
int syncs(int fd) {
    return ::fsync(fd);
}
template <int failure> int refuses(int /*fd*/) {
    errno = failure;
    return -1;
}

// Two files into a new directory two levels deep, as the instance's files go.
Result<void> writeTwoFiles(const std::string& root, DirectorySyncs& touched) {
    auto base = Directory::open(root).value();
    auto made = makeOpenDir(base, "made/deeper", touched);
    if (!made) {
        return std::unexpected(made.error());
    }
    if (auto written = replaceFile(*made, "servers.dat", "x", touched); !written) {
        return written;
    }
    return replaceFile(*made, "instance.cfg", "y", touched);
}

TEST(DirectorySyncs, EachFileIsOnDiskBeforeItsRenameAndEveryTouchedDirectoryAfterIt) {
    TempDirectory temp;
    StepList list(temp.path());
    const WatchDiskSteps watching(list);
    DirectorySyncs touched;
    ASSERT_TRUE(writeTwoFiles(temp.path(), touched).has_value());
    ASSERT_TRUE(touched.syncAll().has_value());
    std::vector<std::string> expected = {
        "write servers.dat",  "sync servers.dat",  "rename servers.dat",
        "write instance.cfg", "sync instance.cfg", "rename instance.cfg",
        "sync dir .",         "sync dir made",     "sync dir made/deeper"};
#ifdef __APPLE__
    expected.emplace_back("flush");
#endif
    EXPECT_EQ(list.steps, expected);
}

// A whole run under Apple's plan, with fsync standing in for the barrier and the drive flush: a
// barrier per file, each directory synced once, one flush at the end, fresh or over an earlier
// instance.
TEST(DirectorySyncs, AppleRunMakesOneBarrierPerFileAndOneFlush) {
    constexpr std::array<SyncCall, 1> calls = {syncs};
    test::InstallerRun run;
    run.serveBody("/servers", test::catalogueWith("gable.example.org", "52.0.3"));
    run.serveBody(test::InstallerRun::clientPath, test::clientBody(100));
    ASSERT_EQ(::setenv("HOME", run.home().home().c_str(), 1), 0);
    const InstallerSettings settings = {.catalogueUrl = run.catalogueUrl(),
                                        .downloadUrl = run.downloadUrl(),
                                        .caFile = run.caFile()};
    for (const char* typed : {"1\n", "1\n2\n"}) {
        StepList list(run.home().home());
        const WatchDiskSteps watching(list, {calls, calls, calls});
        test::MemoryConsole console(typed);
        ASSERT_TRUE(addInstance(settings, console.in, console.out).has_value()) << typed;
        const auto count = [&](std::string_view prefix) {
            return std::ranges::count_if(
                list.steps, [&](const std::string& step) { return step.starts_with(prefix); });
        };
        // The icon, the client, servers.dat, mmc-pack.json and instance.cfg, and a new
        // instance's owner record.
        EXPECT_EQ(count("sync ") - count("sync dir "), std::string_view(typed) == "1\n" ? 6 : 5)
            << typed;
        EXPECT_EQ(count("flush"), 1) << typed;
        EXPECT_EQ(list.steps.back(), "flush") << typed;
        EXPECT_EQ(list.syncedDirectories.size(), static_cast<std::size_t>(count("sync dir ")))
            << typed;
    }
}

// The file system's answers to each kind of sync, and what the run makes of them.
TEST(DirectorySyncs, SyncFailuresAreTheRunsAndUnsupportedSyncsAreSkipped) {
    struct Case {
        const char* what;
        std::vector<SyncCall> file;
        std::vector<SyncCall> directory;
        std::optional<Error> failure;
        std::vector<std::string> steps;
        const char* left;
    };
    const std::vector<Case> cases = {
        {"EIO on the file", {refuses<EIO>}, {syncs}, Error::InputOutput, {"write f"}, ""},
        {"EIO on the directory",
         {syncs},
         {refuses<EIO>},
         Error::InputOutput,
         {"write f", "sync f", "rename f"},
         "f\n"},
        {"each unsupported answer falls through to the next call",
         {refuses<ENOTTY>, refuses<EINVAL>, refuses<ENOTSUP>, refuses<ENOSYS>, syncs},
         {refuses<ENOTTY>, syncs},
         std::nullopt,
         {"write f", "sync f", "rename f", "sync dir ."},
         "f\n"},
        {"all unsupported",
         {refuses<ENOTTY>, refuses<EOPNOTSUPP>},
         {refuses<ENOSYS>},
         std::nullopt,
         {"write f", "rename f"},
         "f\n"},
    };
    for (const Case& c : cases) {
        TempDirectory temp;
        StepList list(temp.path());
        const WatchDiskSteps watching(list, SyncPlan{c.file, c.directory, {}});
        DirectorySyncs touched;
        auto written = replaceFile(Directory::open(temp.path()).value(), "f", "bytes", touched);
        if (written) {
            written = touched.syncAll();
        }
        if (c.failure) {
            EXPECT_THAT(written, FailsWith(*c.failure)) << c.what;
        } else {
            EXPECT_TRUE(written.has_value()) << c.what;
        }
        EXPECT_EQ(list.steps, c.steps) << c.what;
        // No temporary is left behind, whatever happened.
        EXPECT_EQ(listTree(temp.path()), c.left) << c.what;
    }
}

} // namespace
} // namespace tarnvex
