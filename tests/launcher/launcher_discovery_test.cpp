#include "launcher/launcher_discovery.h"

#include "support/fails_with.h"
#include "support/stderr_capture.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnvex {
namespace {

using test::FailsWith;
using test::makeDirectories;
using test::StderrCapture;
using test::TempDirectory;
using test::writeFile;

const std::string failed =
    "error: Failed to find Prism Launcher installation directory. AppDataDirUnavailable\n";

std::string launcherIn(const std::string& home) {
    return home + "/Library/Application Support/PrismLauncher";
}

TEST(LauncherDiscovery, FindsTheDirectoryWithATrailingSlashOnHome) {
    TempDirectory home;
    makeDirectories(launcherIn(home.path()) + "/instances");
    writeFile(launcherIn(home.path()) + "/prismlauncher.cfg", "");
    for (const std::string& value : {home.path(), home.path() + "/"}) {
        StderrCapture stderrText;
        auto found = discoverLauncherDirectory(value);
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(found->path, launcherIn(home.path()));
        EXPECT_EQ(stderrText.text(), "");
    }
}

TEST(LauncherDiscovery, LooksOnlyAtTheNamesOfTheTwoEntries) {
    TempDirectory home;
    // A file called instances and a folder called prismlauncher.cfg will do.
    makeDirectories(launcherIn(home.path()) + "/prismlauncher.cfg");
    writeFile(launcherIn(home.path()) + "/instances", "");
    EXPECT_TRUE(discoverLauncherDirectory(home.path()).has_value());
}

TEST(LauncherDiscovery, RefusesAHomeThatIsMissingEmptyOrRelative) {
    for (const std::optional<std::string_view> home :
         {std::optional<std::string_view>(), std::optional<std::string_view>(""),
          std::optional<std::string_view>("relative/home")}) {
        StderrCapture stderrText;
        EXPECT_THAT(discoverLauncherDirectory(home), FailsWith(Error::AppDataDirUnavailable));
        EXPECT_EQ(stderrText.text(), failed);
    }
}

TEST(LauncherDiscovery, WarnsAboutAMissingDirectory) {
    TempDirectory home;
    StderrCapture stderrText;
    EXPECT_THAT(discoverLauncherDirectory(home.path()), FailsWith(Error::AppDataDirUnavailable));
    EXPECT_EQ(stderrText.text(), "warning: Failed to open Prism dir. Error: FileNotFound, dir: " +
                                     launcherIn(home.path()) + "\n" + failed);
}

TEST(LauncherDiscovery, RefusesADirectoryWithoutBothEntries) {
    struct Layout {
        bool instances;
        bool configuration;
        const char* instancesName;
    };
    for (const Layout layout :
         {Layout{false, true, "instances"}, Layout{true, false, "instances"},
          Layout{false, false, "instances"}, Layout{true, true, "Instances"}}) {
        TempDirectory home;
        makeDirectories(launcherIn(home.path()));
        if (layout.instances) {
            makeDirectories(launcherIn(home.path()) + "/" + layout.instancesName);
        }
        if (layout.configuration) {
            writeFile(launcherIn(home.path()) + "/prismlauncher.cfg", "");
        }
        StderrCapture stderrText;
        EXPECT_THAT(discoverLauncherDirectory(home.path()),
                    FailsWith(Error::AppDataDirUnavailable));
        EXPECT_EQ(stderrText.text(),
                  "warning: Dir path does not look like a valid PrismLauncher installation: " +
                      launcherIn(home.path()) + "\n" + failed);
    }
}

TEST(LauncherDiscovery, NamesTheErrorOfAnUnreadableDirectory) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads any directory";
    }
    TempDirectory home;
    makeDirectories(launcherIn(home.path()));
    ::chmod(launcherIn(home.path()).c_str(), 0);
    StderrCapture stderrText;
    EXPECT_THAT(discoverLauncherDirectory(home.path()), FailsWith(Error::AppDataDirUnavailable));
    EXPECT_EQ(stderrText.text(), "warning: Failed to open Prism dir. Error: AccessDenied, dir: " +
                                     launcherIn(home.path()) + "\n" + failed);
}

} // namespace
} // namespace tarnvex
