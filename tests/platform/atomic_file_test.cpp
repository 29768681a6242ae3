#include "platform/atomic_file.h"

#include "support/fails_with.h"
#include "support/file_size_limit.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace tarnvex {
namespace {

using test::FailsWith;
using test::FileSizeLimit;
using test::listTree;
using test::readFile;
using test::TempDirectory;
using test::writeFile;

Result<void> writeAll(AtomicFile& file, std::string_view text) {
    auto bytes = std::as_bytes(std::span(text.data(), text.size()));
    while (!bytes.empty()) {
        auto written = file.writeSome(bytes);
        if (!written) {
            return std::unexpected(written.error());
        }
        bytes = bytes.subspan(*written);
    }
    return {};
}

// Syncs the directory at once, as a lone replacement would.
Result<void> commitAlone(AtomicFile& file) {
    DirectorySyncs touched;
    return file.commit(touched);
}

bool isTemporaryOf(std::string_view listedLine, std::string_view name) {
    const std::string prefix = "." + std::string(name) + ".tarnvex-";
    return listedLine.size() == prefix.size() + 6 + 1 && listedLine.starts_with(prefix);
}

TEST(AtomicFile, OldContentStaysUntilCommitThenOnlyTheNewFileIsLeft) {
    TempDirectory temp;
    writeFile(temp.path() + "/instance.cfg", "old content");
    auto dir = Directory::open(temp.path()).value();
    auto file = AtomicFile::create(dir, "instance.cfg");
    ASSERT_TRUE(file.has_value());
    ASSERT_TRUE(writeAll(*file, "new").has_value());

    EXPECT_EQ(readFile(temp.path() + "/instance.cfg"), "old content");
    const std::string during = listTree(temp.path());
    ASSERT_TRUE(during.ends_with("instance.cfg\n")) << during;
    EXPECT_TRUE(isTemporaryOf(during.substr(0, during.size() - 13), "instance.cfg")) << during;

    ASSERT_TRUE(commitAlone(*file).has_value());
    EXPECT_EQ(readFile(temp.path() + "/instance.cfg"), "new");
    EXPECT_EQ(listTree(temp.path()), "instance.cfg\n");
    EXPECT_THAT(commitAlone(*file), FailsWith(Error::Unexpected));
}

TEST(AtomicFile, AnUncommittedFileLeavesNothingBehind) {
    TempDirectory temp;
    writeFile(temp.path() + "/kept", "previous");
    auto dir = Directory::open(temp.path()).value();
    {
        auto replacing = AtomicFile::create(dir, "kept");
        auto fresh = AtomicFile::create(dir, "fresh");
        ASSERT_TRUE(replacing.has_value() && fresh.has_value());
        ASSERT_TRUE(writeAll(*replacing, "half").has_value());
    }
    EXPECT_EQ(listTree(temp.path()), "kept\n");
    EXPECT_EQ(readFile(temp.path() + "/kept"), "previous");
}

TEST(AtomicFile, MovingHandsOverTheOneTemporary) {
    TempDirectory temp;
    auto dir = Directory::open(temp.path()).value();
    auto first = AtomicFile::create(dir, "first").value();
    AtomicFile moved(std::move(first));
    auto target = AtomicFile::create(dir, "second").value();
    // Assigning over a pending file drops that file's temporary.
    target = std::move(moved);
    ASSERT_TRUE(writeAll(target, "bytes").has_value());
    ASSERT_TRUE(commitAlone(target).has_value());
    EXPECT_EQ(listTree(temp.path()), "first\n");
    EXPECT_EQ(readFile(temp.path() + "/first"), "bytes");
}

TEST(AtomicFile, CreatesWithMode0666LessTheUmaskAndSetsAnotherOnRequest) {
    TempDirectory temp;
    auto dir = Directory::open(temp.path()).value();
    const mode_t savedUmask = ::umask(022);
    auto plain = AtomicFile::create(dir, "plain");
    auto executable = AtomicFile::create(dir, "executable");
    ::umask(savedUmask);
    ASSERT_TRUE(plain.has_value() && executable.has_value());
    ASSERT_TRUE(executable->setMode(0755).has_value());
    ASSERT_TRUE(commitAlone(*plain).has_value() && commitAlone(*executable).has_value());
    for (const auto& [name, mode] : {std::pair{"plain", 0644u}, std::pair{"executable", 0755u}}) {
        struct stat status = {};
        ASSERT_EQ(::stat((temp.path() + "/" + name).c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777u, mode) << name;
    }
}

TEST(AtomicFile, TheSweepRemovesOnlyTemporariesThatNoRunHolds) {
    TempDirectory temp;
    for (const char* name : {".servers.dat.tarnvex-a1B2c3", ".icon_velkorhub.png.tarnvex-Zz9Yy8",
                             ".servers.dat.tarnvex-longer1", ".other.tarnvex-a1B2c",
                             ".tarnvex-a1B2c3", "servers.dat"}) {
        writeFile(temp.path() + "/" + name, "left over");
    }
    // Left read-only by a player's umask, it is still ours to clear.
    ASSERT_EQ(::chmod((temp.path() + "/.icon_velkorhub.png.tarnvex-Zz9Yy8").c_str(), 0444), 0);
    test::makeDirectories(temp.path() + "/.folder.tarnvex-a1B2c3");
    ASSERT_EQ(::symlink("servers.dat", (temp.path() + "/.link.tarnvex-a1B2c3").c_str()), 0);
    auto dir = Directory::open(temp.path()).value();
    auto live = AtomicFile::create(dir, "instance.cfg");
    ASSERT_TRUE(live.has_value());
    const std::string before = listTree(temp.path());
    sweepTemporaries(dir);
    ASSERT_TRUE(commitAlone(*live).has_value());
    EXPECT_NE(before.find(".instance.cfg.tarnvex-"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_symlink(temp.path() + "/.link.tarnvex-a1B2c3"));
    ::unlink((temp.path() + "/.link.tarnvex-a1B2c3").c_str());
    EXPECT_EQ(listTree(temp.path()), ".folder.tarnvex-a1B2c3/\n.other.tarnvex-a1B2c\n"
                                     ".servers.dat.tarnvex-longer1\n.tarnvex-a1B2c3\ninstance.cfg\n"
                                     "servers.dat\n");
}

TEST(AtomicFile, AFailedWriteReportsItsCauseAndKeepsThePreviousFile) {
    TempDirectory temp;
    writeFile(temp.path() + "/mmc-pack.json", "previous");
    auto dir = Directory::open(temp.path()).value();
    Result<void> written;
    {
        auto file = AtomicFile::create(dir, "mmc-pack.json").value();
        const FileSizeLimit limit(16);
        written = writeAll(file, std::string(100, 'x'));
    }
    EXPECT_THAT(written, FailsWith(Error::FileTooBig));
    EXPECT_EQ(listTree(temp.path()), "mmc-pack.json\n");
    EXPECT_EQ(readFile(temp.path() + "/mmc-pack.json"), "previous");
}

TEST(AtomicFile, AFailedRenameRemovesTheTemporary) {
    TempDirectory temp;
    test::makeDirectories(temp.path() + "/instance.cfg/inside");
    auto dir = Directory::open(temp.path()).value();
    auto file = AtomicFile::create(dir, "instance.cfg").value();
    EXPECT_THAT(commitAlone(file), FailsWith(Error::IsDir));
    EXPECT_EQ(listTree(temp.path()), "instance.cfg/\ninstance.cfg/inside/\n");
}

} // namespace
} // namespace tarnvex
