#include "instance/servers_dat.h"

#include "support/fails_with.h"
#include "support/file_size_limit.h"
#include "support/stderr_capture.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <string>

namespace tarnvex {
namespace {

using namespace std::string_literals;
using test::FailsWith;
using test::FileSizeLimit;
using test::listTree;
using test::makeDirectories;
using test::readFile;
using test::StderrCapture;
using test::TempDirectory;
using test::writeFile;

// Everything up to the address's length field, then everything after the address.
const std::string head = "\x0a\0\0"
                         "\x09\0\x07servers"
                         "\x0a\0\0\0\x01"
                         "\x01\0\x06hidden\0"
                         "\x08\0\x02ip"s;
const std::string tail = "\x08\0\x04name\0\x10The Gable Fields\0\0"s;

TEST(ServersDat, LaysOutTheNbtByteForByte) {
    const std::string address = "play.example.net";
    const std::string expected = head + "\0\x10"s + address + tail;
    ASSERT_EQ(expected.size(), 78u);
    EXPECT_EQ(serversDatBytes(address), expected);
    EXPECT_EQ(serversDatBytes(""), head + "\0\0"s + tail);
    EXPECT_EQ(serversDatBytes("").size(), 62u);
}

TEST(ServersDat, WritesTheAddressLengthHighByteFirst) {
    struct Case {
        std::size_t length;
        std::string field;
    };
    for (const Case& c : {Case{256, "\x01\0"s}, Case{0x1234, "\x12\x34"s},
                          Case{maxServerAddressBytes, "\xff\xff"s}}) {
        const std::string address(c.length, 'a');
        EXPECT_EQ(serversDatBytes(address), head + c.field + address + tail) << c.length;
    }
}

TEST(ServersDat, CreatesMinecraftAndKeepsEverythingElseOnOverwrite) {
    TempDirectory instance;
    makeDirectories(instance.path() + "/minecraft/saves/World");
    makeDirectories(instance.path() + "/mods");
    writeFile(instance.path() + "/minecraft/saves/World/level.dat", "world\0bytes"s);
    writeFile(instance.path() + "/mods/sodium.jar", "jar");
    writeFile(instance.path() + "/minecraft/servers.dat", "an older, longer list of servers");
    const auto dir = Directory::open(instance.path()).value();
    const std::string expected = head + "\0\x13"s + "velkorhub.net:25565" + tail;
    DirectorySyncs touched;
    for (int run = 0; run < 2; ++run) {
        StderrCapture stderrText;
        ASSERT_TRUE(writeServersDat(dir, "velkorhub.net:25565", touched).has_value());
        EXPECT_EQ(stderrText.text(), "info: Writing minecraft/servers.dat\n");
        EXPECT_EQ(readFile(instance.path() + "/minecraft/servers.dat"), expected);
    }
    EXPECT_EQ(readFile(instance.path() + "/minecraft/saves/World/level.dat"), "world\0bytes"s);
    EXPECT_EQ(readFile(instance.path() + "/mods/sodium.jar"), "jar");
    EXPECT_EQ(listTree(instance.path()),
              "minecraft/\nminecraft/saves/\nminecraft/saves/World/\n"
              "minecraft/saves/World/level.dat\nminecraft/servers.dat\nmods/\nmods/sodium.jar\n");

    TempDirectory fresh;
    ASSERT_TRUE(writeServersDat(Directory::open(fresh.path()).value(), "", touched).has_value());
    EXPECT_EQ(listTree(fresh.path()), "minecraft/\nminecraft/servers.dat\n");
}

TEST(ServersDat, RefusesAnAddressTooLongForTheFormat) {
    TempDirectory instance;
    makeDirectories(instance.path() + "/minecraft");
    writeFile(instance.path() + "/minecraft/servers.dat", "previous");
    StderrCapture stderrText;
    DirectorySyncs touched;
    EXPECT_THAT(
        writeServersDat(Directory::open(instance.path()).value(), std::string(65536, 'a'), touched),
        FailsWith(Error::ServerAddressTooLong));
    EXPECT_EQ(stderrText.text(), "info: Writing minecraft/servers.dat\n"
                                 "error: Server address is 65536 bytes long; at most 65535 fit in "
                                 "the server list.\n");
    EXPECT_EQ(listTree(instance.path()), "minecraft/\nminecraft/servers.dat\n");
    EXPECT_EQ(readFile(instance.path() + "/minecraft/servers.dat"), "previous");
}

TEST(ServersDat, AFailedWriteKeepsThePreviousList) {
    TempDirectory instance;
    makeDirectories(instance.path() + "/minecraft");
    writeFile(instance.path() + "/minecraft/servers.dat", "previous");
    const auto dir = Directory::open(instance.path()).value();
    Result<void> written;
    {
        const FileSizeLimit limit(16);
        DirectorySyncs touched;
        written = writeServersDat(dir, "play.example.net", touched);
    }
    EXPECT_THAT(written, FailsWith(Error::FileTooBig));
    EXPECT_EQ(listTree(instance.path()), "minecraft/\nminecraft/servers.dat\n");
    EXPECT_EQ(readFile(instance.path() + "/minecraft/servers.dat"), "previous");
}

} // namespace
} // namespace tarnvex
