#include "instance/make_open_dir.h"

#include "support/fails_with.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnvex {
namespace {

using test::FailsWith;
using test::listTree;
using test::makeDirectories;
using test::TempDirectory;
using test::writeFile;

// The syncs that make new directories durable are checked with the other syncs.
Result<Directory> makeOpenDir(const Directory& base, std::string_view relativePath) {
    DirectorySyncs touched;
    return tarnvex::makeOpenDir(base, relativePath, touched);
}

Directory openBase(const TempDirectory& temp) {
    return Directory::open(temp.path()).value();
}

bool sameDirectory(const Directory& opened, const std::string& path) {
    struct stat viaHandle = {};
    struct stat viaPath = {};
    return ::fstat(opened.fd(), &viaHandle) == 0 && ::stat(path.c_str(), &viaPath) == 0 &&
           viaHandle.st_ino == viaPath.st_ino && viaHandle.st_dev == viaPath.st_dev;
}

TEST(MakeOpenDir, CreatesEveryMissingLevelWithMode0755) {
    TempDirectory temp;
    makeDirectories(temp.path() + "/existing");
    const mode_t savedUmask = ::umask(0);
    auto opened = makeOpenDir(openBase(temp), "existing/a//b/c/");
    ::umask(savedUmask);
    ASSERT_TRUE(opened.has_value());
    EXPECT_TRUE(sameDirectory(*opened, temp.path() + "/existing/a/b/c"));
    EXPECT_EQ(listTree(temp.path()), "existing/\nexisting/a/\nexisting/a/b/\nexisting/a/b/c/\n");
    for (const char* level : {"/existing/a", "/existing/a/b", "/existing/a/b/c"}) {
        struct stat status = {};
        ASSERT_EQ(::stat((temp.path() + level).c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777u, 0755u) << level;
    }
}

TEST(MakeOpenDir, OpensAnExistingDirectoryAndLeavesItsContents) {
    TempDirectory temp;
    makeDirectories(temp.path() + "/minecraft/saves/World");
    writeFile(temp.path() + "/minecraft/saves/World/level.dat", "world");
    auto opened = makeOpenDir(openBase(temp), "minecraft");
    ASSERT_TRUE(opened.has_value());
    EXPECT_TRUE(sameDirectory(*opened, temp.path() + "/minecraft"));
    EXPECT_EQ(listTree(temp.path()), "minecraft/\nminecraft/saves/\nminecraft/saves/World/\n"
                                     "minecraft/saves/World/level.dat\n");
    EXPECT_EQ(test::readFile(temp.path() + "/minecraft/saves/World/level.dat"), "world");
}

TEST(MakeOpenDir, TakesPathsUpTo1023Bytes) {
    TempDirectory temp;
    // Two levels of 255 bytes (NAME_MAX) joined by 513 slashes: 1023 bytes, while the absolute
    // paths the test's clean-up takes stay within a Mac's PATH_MAX of 1024.
    const std::string part(255, 'd');
    const std::string longest = part + std::string(513, '/') + part;
    ASSERT_EQ(longest.size(), 1023u);
    EXPECT_TRUE(makeOpenDir(openBase(temp), longest).has_value());

    TempDirectory other;
    EXPECT_THAT(makeOpenDir(openBase(other), longest + "d"), FailsWith(Error::NameTooLong));
    EXPECT_EQ(listTree(other.path()), "");
}

TEST(MakeOpenDir, FailsWhereAFileStandsInTheWay) {
    TempDirectory temp;
    writeFile(temp.path() + "/icons", "");
    for (const char* path : {"icons", "icons/sub"}) {
        EXPECT_THAT(makeOpenDir(openBase(temp), path), FailsWith(Error::NotDir)) << path;
    }
}

TEST(MakeOpenDir, ReportsAFolderItMayNotWriteTo) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root may write anywhere";
    }
    TempDirectory temp;
    makeDirectories(temp.path() + "/locked");
    ::chmod((temp.path() + "/locked").c_str(), 0555);
    EXPECT_THAT(makeOpenDir(openBase(temp), "locked/new/deeper"), FailsWith(Error::AccessDenied));
}

} // namespace
} // namespace tarnvex
