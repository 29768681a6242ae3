#include "platform/tree_removal.h"

#include "instance/staged_instance.h"
#include "support/fails_with.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__linux__) && defined(_GNU_SOURCE)
#include <sched.h>
#include <sys/mount.h>
#endif

namespace tarnvex {
namespace {

using test::listTree;
using test::makeDirectories;
using test::TempDirectory;
using test::writeFile;

TEST(TreeRemoval, ClearsAStagingFolderWithoutFollowingItsLinks) {
    TempDirectory temp;
    const std::string stale = temp.path() + "/instances/.tarnvex-staging-a1B2c3";
    makeDirectories(temp.path() + "/Elsewhere/World1");
    writeFile(temp.path() + "/Elsewhere/World1/level.dat", "world");
    makeDirectories(stale + "/Lantern Hollow/minecraft");
    ASSERT_EQ(
        ::symlink("../../../../Elsewhere", (stale + "/Lantern Hollow/minecraft/saves").c_str()), 0);
    ASSERT_EQ(::symlink("../../Elsewhere/World1", (stale + "/world").c_str()), 0);
    const bool root = ::geteuid() == 0;
    if (!root) {
        // A link the removal cannot unlink must stay a link, not be emptied through.
        ASSERT_EQ(::chmod((stale + "/Lantern Hollow/minecraft").c_str(), 0555), 0);
    }
    const auto instances = Directory::open(temp.path() + "/instances").value();
    const auto removed = removeTree(instances, ".tarnvex-staging-a1B2c3",
                                    instances.openChildNoFollow(".tarnvex-staging-a1B2c3").value());
    if (root) {
        EXPECT_TRUE(removed.has_value());
        EXPECT_EQ(listTree(temp.path() + "/instances"), "");
    } else {
        EXPECT_THAT(removed, test::FailsWith(Error::AccessDenied));
        EXPECT_TRUE(std::filesystem::is_symlink(stale + "/Lantern Hollow/minecraft/saves"));
        ::chmod((stale + "/Lantern Hollow/minecraft").c_str(), 0755);
    }
    EXPECT_EQ(listTree(temp.path() + "/Elsewhere"), "World1/\nWorld1/level.dat\n");
}

// A bind mount shows the same file system, so only the kernel knows where it starts; a player's
// world behind one inside a leftover must stay.
TEST(TreeRemoval, NeverEntersABindMountInsideALeftover) {
#if defined(__linux__) && defined(_GNU_SOURCE)
    TempDirectory temp;
    makeDirectories(temp.path() + "/World/region");
    writeFile(temp.path() + "/World/level.dat", "world");
    makeDirectories(temp.path() + "/instances/.tarnvex-staging-a1B2c3/Lantern Hollow/saves");
    const std::string mountPoint =
        temp.path() + "/instances/.tarnvex-staging-a1B2c3/Lantern Hollow/saves";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // In a mount namespace of its own, so that the mount goes with the process.
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount((temp.path() + "/World").c_str(), mountPoint.c_str(), nullptr, MS_BIND,
                    nullptr) != 0) {
            ::_exit(2);
        }
        const auto instances = Directory::open(temp.path() + "/instances").value();
        sweepStagingFolders(instances);
        ::_exit(test::pathExists(temp.path() + "/World/level.dat") &&
                        test::pathExists(mountPoint + "/region")
                    ? 0
                    : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2) {
        GTEST_SKIP() << "needs root and mount namespaces";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(listTree(temp.path() + "/World"), "level.dat\nregion/\n");
#else
    GTEST_SKIP() << "bind mounts are Linux's, and only a GNU build asks the kernel about them";
#endif
}

} // namespace
} // namespace tarnvex
