#include "launcher/folder_settings.h"
#include "launcher/launcher_folders.h"

#include "support/fails_with.h"
#include "support/stderr_capture.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tarnvex {
namespace {

using namespace std::string_literals;

struct SettingsCase {
    const char* what;
    std::string configuration;
    std::string instanceDir;
    std::string iconsDir;
};

const SettingsCase settingsCases[] = {
    {"as Qt quotes a comma and outer spaces",
     "[General]\nConfigVersion=1.2\nIconsDir=\" /Volumes/Disk/icons \"\n"
     "InstanceDir=\"/Volumes/Games, Disk/instances\"\n",
     "/Volumes/Games, Disk/instances", " /Volumes/Disk/icons "},
    {"Qt's escapes, UTF-8, a comment, blanks cut",
     "ConfigVersion=1.2\r\nInstanceDir=/Volumes/Caf\xc3\xa9/\\\"a\\\\b\\\"  ; mine\r\n"
     "IconsDir=/Volumes/\\x65\\x301\\t\n",
     "/Volumes/Caf\xc3\xa9/\"a\\b\"", "/Volumes/e\xcc\x81\t"},
    {"[General] only", "ConfigVersion=1.2\n[Other]\nInstanceDir=/x\n[general]\nIconsDir=/y\n", "",
     "/y"},
    {"a list, a string in Qt's own form",
     "ConfigVersion=1.2\nInstanceDir=/a,b\nIconsDir=@String(/s)\n", "", "/s"},
    {"the launcher's quotes in a 1.1 file", "ConfigVersion=1.1\nInstanceDir=\"\\\"/a;b\\\"\"\n",
     "/a;b", ""},
    {"the older format", "InstanceDir = /Volumes/A\\#1\n[x]\nIconsDir=\"/a,b\" # moved\n",
     "/Volumes/A#1", "/a,b"},
    {"relative values", "ConfigVersion=1.2\nInstanceDir=../Shared\nIconsDir=icons\n", "../Shared",
     "icons"},
    {"no such keys", "[General]\nConfigVersion=1.2\nLanguage=en\n", "", ""},
    {"a header Qt refuses", "ConfigVersion=1.2\nInstanceDir=/x\n[Broken\n", "", ""},
    {"not UTF-8", "ConfigVersion=1.2\nInstanceDir=/\xff\n", "", ""},
};

TEST(FolderSettings, ReadsTheTwoKeysAsPrismLauncherDoes) {
    for (const SettingsCase& c : settingsCases) {
        SCOPED_TRACE(c.what);
        const FolderSettings settings = parseFolderSettings(c.configuration);
        EXPECT_EQ(settings.instanceDir, c.instanceDir);
        EXPECT_EQ(settings.iconsDir, c.iconsDir);
    }
}

LauncherDirectory launcherAt(const std::string& path, const std::string& configuration) {
    test::writeFile(path + "/prismlauncher.cfg", configuration);
    return {path, Directory::open(path).value()};
}

TEST(LauncherFolders, ARelativeFolderIsFoundFromWhereALinkedDataDirectoryReallyIs) {
    const test::TempDirectory root;
    test::makeDirectories(root.path() + "/real/PrismLauncher");
    test::makeDirectories(root.path() + "/real/Shared");
    test::writeFile(root.path() + "/real/Shared/marker", "");
    test::makeDirectories(root.path() + "/link");
    std::filesystem::create_directory_symlink(root.path() + "/real/PrismLauncher",
                                              root.path() + "/link/PrismLauncher");
    const std::string path = root.path() + "/link/PrismLauncher";
    const LauncherDirectory launcher =
        launcherAt(path, "ConfigVersion=1.2\nInstanceDir=../Shared\n");
    const LauncherFolders folders = readLauncherFolders(launcher);
    EXPECT_EQ(folders.instances.path, path + "/../Shared");
    EXPECT_TRUE(openLauncherFolder(launcher.directory, folders.instances)
                    .value()
                    .resolves("marker")
                    .value());
}

TEST(LauncherFolders, OnlyANamedFolderThatIsMissingIsUnavailable) {
    const test::TempDirectory root;
    const std::string missing = root.path() + "/Volumes/Games/instances";
    // Past 1 MiB the file is not read at all, so the defaults stand.
    const LauncherDirectory large =
        launcherAt(root.path(), "InstanceDir=" + missing + "\n#" + std::string(1 << 20, 'x'));
    test::StderrCapture quiet;
    EXPECT_THAT(openLauncherFolder(large.directory, readLauncherFolders(large).instances),
                test::FailsWith(Error::FileNotFound));
    EXPECT_EQ(quiet.text(), "");

    const LauncherDirectory named = launcherAt(root.path(), "InstanceDir=" + missing + "\n");
    test::StderrCapture stderrText;
    EXPECT_THAT(openLauncherFolder(named.directory, readLauncherFolders(named).instances),
                test::FailsWith(Error::InstanceFolderUnavailable));
    EXPECT_EQ(stderrText.text(), "error: A folder named in Prism Launcher's settings is missing "
                                 "(is its drive connected?): " +
                                     missing + "\n");
    EXPECT_EQ(test::listTree(root.path()), "prismlauncher.cfg\n");
}

} // namespace
} // namespace tarnvex
