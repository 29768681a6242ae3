#include "remote/selection.h"

#include "support/fails_with.h"
#include "support/memory_console.h"
#include "support/stderr_capture.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

namespace tarnvex {
namespace {

using test::FailsWith;
using Console = test::MemoryConsole;
using test::StderrCapture;
using test::TempHome;

Directory instancesOf(const TempHome& home) {
    return Directory::open(home.launcherPath() + "/instances").value();
}

MinecraftServerEntry entry(std::string server, std::string version, std::string loader) {
    return {std::move(loader), std::move(server), std::move(version), "1.0", "a.example.org"};
}

const std::vector<MinecraftServerEntry> catalogue = {
    entry("Gable Fields", "1.20.1", "fabric"),
    entry("Lantern Hollow", "1.21.1", "forge"),
    entry("Third", "1.21.1", "fabric"),
};

const std::string menu = "\nThese Minecraft server instances are avaliable on the server.\n"
                         "Pick one to add to your Prism installation.\n"
                         "[1] Name: \"Gable Fields\", Minecraft ver: 1.20.1, Mod loader: fabric\n"
                         "[2] Name: \"Lantern Hollow\", Minecraft ver: 1.21.1, Mod loader: forge\n"
                         "[3] Name: \"Third\", Minecraft ver: 1.21.1, Mod loader: fabric\n";

const std::string existsMenu = "[1] Back to server selection\n"
                               "[2] Overwrite configuration of \"Lantern Hollow\"\n"
                               "[3] Quit\n";

TEST(Selection, ShowsTheMenuAndTakesTheChosenEntry) {
    TempHome home;
    // Another instance whose name only begins like the chosen one's, on any volume.
    test::makeDirectories(home.instancePath("Lantern"));
    Console console("2\n");
    StderrCapture stderrText;
    auto selected = selectServerInstance(catalogue, instancesOf(home), console.in, console.out);
    ASSERT_TRUE(selected.has_value());
    EXPECT_EQ(selected->outcome, Selection::Outcome::Chosen);
    EXPECT_EQ(selected->entry, &catalogue[1]);
    EXPECT_EQ(console.sink.text, menu + "SELECT> ");
    EXPECT_EQ(stderrText.text(), "");
}

TEST(Selection, BackShowsTheWholeMenuAgainAndOverwriteTakesTheEntry) {
    TempHome home;
    test::makeDirectories(home.instancePath("Lantern Hollow"));
    Console console("2\n1\n2\n2\n");
    StderrCapture stderrText;
    auto selected = selectServerInstance(catalogue, instancesOf(home), console.in, console.out);
    ASSERT_TRUE(selected.has_value());
    EXPECT_EQ(selected->outcome, Selection::Outcome::Overwrite);
    EXPECT_EQ(selected->entry, &catalogue[1]);
    EXPECT_EQ(console.sink.text, menu + "SELECT> " + existsMenu + "SELECT> " + menu + "SELECT> " +
                                     existsMenu + "SELECT> ");
    const std::string warning =
        "warning: Chosen Minecraft server instance \"Lantern Hollow\" already exists.\n";
    EXPECT_EQ(stderrText.text(), warning + warning);
}

TEST(Selection, ANameTheVolumeFindsInAnotherCaseOrFormExists) {
    // As a Mac's volume answers: "lantern hollow" is found for "Lantern Hollow" although no
    // entry spells it so.
    TempHome home;
    test::makeDirectories(home.instancePath("lantern hollow"));
    Console console("2\n2\n");
    StderrCapture stderrText;
    auto selected =
        selectServerInstance(catalogue, instancesOf(home), console.in, console.out,
                             [](const Directory&, const std::string& name) -> Result<bool> {
                                 return name == "Lantern Hollow";
                             });
    ASSERT_TRUE(selected.has_value());
    EXPECT_EQ(selected->outcome, Selection::Outcome::Overwrite);
    EXPECT_EQ(selected->entry, &catalogue[1]);
    EXPECT_EQ(console.sink.text, menu + "SELECT> " + existsMenu + "SELECT> ");
    EXPECT_EQ(stderrText.text(),
              "warning: Chosen Minecraft server instance \"Lantern Hollow\" already exists.\n");
}

TEST(Selection, QuitEndsWithNothingMore) {
    TempHome home;
    test::writeFile(home.instancePath("Lantern Hollow"), "any kind of entry counts");
    Console console("2\n3\n");
    StderrCapture stderrText;
    auto selected = selectServerInstance(catalogue, instancesOf(home), console.in, console.out);
    ASSERT_TRUE(selected.has_value());
    EXPECT_EQ(selected->outcome, Selection::Outcome::Quit);
    EXPECT_EQ(console.sink.text, menu + "SELECT> " + existsMenu + "SELECT> ");
}

TEST(Selection, AnEmptyCatalogueHasNothingToDo) {
    TempHome home;
    Console console("");
    StderrCapture stderrText;
    auto selected = selectServerInstance({}, instancesOf(home), console.in, console.out);
    ASSERT_TRUE(selected.has_value());
    EXPECT_EQ(selected->outcome, Selection::Outcome::NothingToDo);
    EXPECT_EQ(console.sink.text, "");
    EXPECT_EQ(stderrText.text(), "info: No available Minecraft instances on the server.\n"
                                 "info: Nothing to do.\n");
}

TEST(Selection, RefusesMoreEntriesThanThePromptCanOffer) {
    TempHome home;
    const std::vector<MinecraftServerEntry> large(256, entry("S", "1.20.1", "fabric"));
    Console console("1\n");
    StderrCapture stderrText;
    EXPECT_THAT(selectServerInstance(large, instancesOf(home), console.in, console.out),
                FailsWith(Error::TooManyServerInstances));
    EXPECT_EQ(console.sink.text, "");
    EXPECT_EQ(stderrText.text(),
              "error: The catalogue lists 256 server instances; at most 255 can be offered.\n");

    const std::vector<MinecraftServerEntry> largest(255, entry("S", "1.20.1", "fabric"));
    Console choosing("255\n");
    EXPECT_TRUE(
        selectServerInstance(largest, instancesOf(home), choosing.in, choosing.out).has_value());
}

TEST(Selection, RefusesANameThatIsNotOneDirectoryBelowInstances) {
    const std::string names[] = {"",           ".",
                                 "..",         "a/b",
                                 "../escape",  "tab\there",
                                 "line\nfeed", std::string("nul\0byte", 8),
                                 "del\x7F",    ".Tarnvex-staging-a1B2c3"};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        TempHome home;
        const std::string listingBefore = test::listTree(home.home());
        Console console("1\n");
        StderrCapture stderrText;
        EXPECT_THAT(selectServerInstance({entry(name, "1.20.1", "fabric")}, instancesOf(home),
                                         console.in, console.out),
                    FailsWith(Error::InvalidInstanceName));
        EXPECT_EQ(stderrText.text(),
                  "error: Server name \"" + name + "\" is not a valid instance directory name.\n");
        EXPECT_EQ(test::listTree(home.home()), listingBefore);
    }
}

TEST(Selection, EndsWithEndOfStreamWhenInputEnds) {
    TempHome home;
    Console console("");
    EXPECT_THAT(selectServerInstance(catalogue, instancesOf(home), console.in, console.out),
                FailsWith(Error::EndOfStream));
}

} // namespace
} // namespace tarnvex
