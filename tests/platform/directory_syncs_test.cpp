#include "platform/directory_syncs.h"

#include "instance/make_open_dir.h"
#include "platform/atomic_file.h"
#include "platform/disk_sync.h"
#include "support/fails_with.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <optional>
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
        static constexpr std::array verbs = {"write ", "sync ", "rename ", "sync dir ", "flush"};
        steps.push_back(verbs.at(static_cast<std::size_t>(step)) + std::string(name));
    }

    std::vector<std::string> steps;

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

// Apple's plan, with fsync standing in for the barrier and the drive flush: a barrier per file,
// each directory synced once, one flush for the whole run, fresh or over an earlier one.
TEST(DirectorySyncs, AppleRunMakesOneBarrierPerFileAndOneFlush) {
    constexpr std::array<SyncCall, 1> calls = {syncs};
    const SyncPlan apple = {calls, calls, calls};
    TempDirectory temp;
    for (const char* run : {"fresh", "overwrite"}) {
        StepList list(temp.path());
        const WatchDiskSteps watching(list, apple);
        DirectorySyncs touched;
        ASSERT_TRUE(writeTwoFiles(temp.path(), touched).has_value());
        ASSERT_TRUE(touched.syncDirectories().has_value()); // as before a folder's rename
        ASSERT_TRUE(touched.syncAll().has_value());
        const auto count = [&](std::string_view prefix) {
            return std::count_if(list.steps.begin(), list.steps.end(),
                                 [&](const std::string& step) { return step.starts_with(prefix); });
        };
        EXPECT_EQ(count("sync servers.dat") + count("sync instance.cfg"), 2) << run;
        EXPECT_EQ(count("flush"), 1) << run;
        EXPECT_EQ(list.steps.back(), "flush") << run;
        EXPECT_EQ(count("sync dir made/deeper"), 1) << run;
        EXPECT_EQ(count("sync dir "), std::string_view(run) == "fresh" ? 3 : 1) << run;
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
