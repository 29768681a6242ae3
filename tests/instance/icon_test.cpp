#include "instance/icon.h"

#include "platform/directory_syncs.h"
#include "support/stderr_capture.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <string>

namespace tarnvex {
namespace {

using namespace std::string_literals;
using test::listTree;
using test::readFile;
using test::StderrCapture;
using test::TempDirectory;
using test::writeFile;

constexpr std::size_t iconBytes = 38796;
const LauncherFolder defaultIcons{"icons", "icons", false, Error::IconFolderUnavailable};

TEST(Icon, WritesTheEmbeddedPngIntoANewIconsFolder) {
    TempDirectory launcher;
    StderrCapture stderrText;
    DirectorySyncs touched;
    ASSERT_TRUE(
        writeIcon(Directory::open(launcher.path()).value(), defaultIcons, touched).has_value());
    EXPECT_EQ(stderrText.text(), "info: Writing icon_velkrhub.png\n");
    EXPECT_EQ(listTree(launcher.path()), "icons/\nicons/icon_velkorhub.png\n");

    const std::string png = readFile(launcher.path() + "/icons/icon_velkorhub.png");
    ASSERT_EQ(png.size(), iconBytes);
    // Signature, then IHDR: 256 x 256, 8 bits per sample, colour type 2 (truecolour, no alpha).
    EXPECT_EQ(png.substr(0, 26), "\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\x01\0\0\0\x01\0\x08\x02"s);
    EXPECT_TRUE(png.ends_with("\0\0\0\0IEND\xae\x42\x60\x82"s));
    EXPECT_EQ(png, readFile(TARNVEX_SOURCE_DIR "/resources/icon_velkorhub.png"));
}

TEST(Icon, ReplacesALargerIconAndKeepsTheOtherIcons) {
    TempDirectory launcher;
    test::makeDirectories(launcher.path() + "/icons");
    writeFile(launcher.path() + "/icons/icon_velkorhub.png", std::string(100000, 'x'));
    writeFile(launcher.path() + "/icons/other.png", "other");
    DirectorySyncs touched;
    ASSERT_TRUE(
        writeIcon(Directory::open(launcher.path()).value(), defaultIcons, touched).has_value());
    EXPECT_EQ(readFile(launcher.path() + "/icons/icon_velkorhub.png").size(), iconBytes);
    EXPECT_EQ(readFile(launcher.path() + "/icons/other.png"), "other");
    EXPECT_EQ(listTree(launcher.path()), "icons/\nicons/icon_velkorhub.png\nicons/other.png\n");
}

} // namespace
} // namespace tarnvex
