#include "platform/tree_removal.h"

#include "platform/ownership_lock.h"
#include "support/fails_with.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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
    const auto removed = removeTree(instances, ".tarnvex-staging-a1B2c3");
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

TEST(TreeRemoval, TheSweepHoldsEachLeftoversLockUntilItIsGone) {
    TempDirectory temp;
    writeFile(temp.path() + "/.a.tarnvex-a1B2c3", "left over");
    const auto dir = Directory::open(temp.path()).value();
    int lockedAtRemoval = 0;
    sweepLeftovers(dir, ".a.tarnvex-", O_WRONLY, [&](const std::string& name) {
        // A run making this name now would take it only with the lock.
        const int fd = ::openat(dir.fd(), name.c_str(), O_RDONLY | O_CLOEXEC);
        lockedAtRemoval = ::flock(fd, LOCK_EX | LOCK_NB) != 0 ? errno : 0;
        ::close(fd);
        ::unlinkat(dir.fd(), name.c_str(), 0);
    });
    EXPECT_EQ(lockedAtRemoval, EWOULDBLOCK);
    EXPECT_EQ(listTree(temp.path()), "");
}

} // namespace
} // namespace tarnvex
