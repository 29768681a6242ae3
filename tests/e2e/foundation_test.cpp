// The product binary, run as a player would run it, up to where it needs the network.

#include "support/installer_run.h"
#include "support/process_runner.h"
#include "support/temp_home.h"

#include <atomic>
#include <csignal>
#include <gtest/gtest.h>

namespace tarnvex {
namespace {

using test::ProcessOptions;
using test::runProcess;
using test::TempDirectory;
using test::TempHome;

const std::string failed =
    "error: Failed to find Prism Launcher installation directory. AppDataDirUnavailable\n"
    "error: AppDataDirUnavailable\n";

TEST(Foundation, PrintsTheBannerAndFailsWithoutHome) {
    ProcessOptions options;
    options.arguments = {"--help", "anything"};
    options.environment = {{"HOMEDIR", "/tmp"}, {"PATH", "/usr/bin"}};
    const auto result = runProcess(TARNVEX_INSTALLER_PATH, options);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.standardOutput, test::bannerText());
    EXPECT_EQ(result.standardError, failed);
}

TEST(Foundation, EmptyOrRelativeHomeIsNoHome) {
    for (const char* home : {"", "relative"}) {
        ProcessOptions options;
        options.environment = {{"HOME", home}};
        const auto result = runProcess(TARNVEX_INSTALLER_PATH, options);
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.standardError, failed);
    }
}

TEST(Foundation, ReportsAMissingLauncherDirectory) {
    TempDirectory home;
    ProcessOptions options;
    options.environment = {{"HOME", home.path()}};
    const auto result = runProcess(TARNVEX_INSTALLER_PATH, options);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.standardError,
              "warning: Failed to open Prism dir. Error: FileNotFound, dir: " + home.path() +
                  "/Library/Application Support/PrismLauncher\n" + failed);
}

TEST(Foundation, SurvivesAStandardOutputWithoutReader) {
    TempDirectory home;
    ProcessOptions options;
    options.environment = {{"HOME", home.path()}};
    options.standardOutputClosed = true;
    const auto result = runProcess(TARNVEX_INSTALLER_PATH, options);
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.standardError, "error: WriteFailed\n");
}

TEST(Foundation, TestbedNeedsItsEnvironment) {
    TempHome home;
    ProcessOptions options;
    options.environment = {{"HOME", home.home()}};
    const auto result = runProcess(TARNVEX_TESTBED_PATH, options);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.standardOutput, "");
    EXPECT_NE(result.standardError.find("TARNVEX_TESTBED_CATALOGUE_URL"), std::string::npos);
}

TEST(Foundation, ReportsAFatalSignalAndEndsByIt) {
    test::InstallerRun run;
    std::atomic<test::ChildProcess*> installer{nullptr};
    // The installer waits for the catalogue while the fault arrives.
    run.serve("/servers", [&](const test::HttpRequest&, test::Connection& connection) {
        while (installer.load() == nullptr && connection.sleepFor(std::chrono::milliseconds(1))) {
        }
        installer.load()->kill(SIGSEGV);
        connection.sleepFor(std::chrono::seconds(5));
    });
    test::ChildProcess child(TARNVEX_TESTBED_PATH, run.options(""));
    installer = &child;
    const auto result = child.wait();
    EXPECT_EQ(result.signal, SIGSEGV);
    EXPECT_NE(result.standardError.find("\nSegmentation fault at address 0x"), std::string::npos)
        << result.standardError;
}

} // namespace
} // namespace tarnvex
