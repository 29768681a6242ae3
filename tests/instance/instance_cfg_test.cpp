#include "instance/instance_cfg.h"

#include "support/expected_files.h"
#include "support/stderr_capture.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <string>

namespace tarnvex {
namespace {

using test::listTree;
using test::readFile;
using test::StderrCapture;
using test::TempDirectory;
using test::writeFile;

TEST(InstanceCfg, WritesTheTenLinesWithTheNameAsItIs) {
    EXPECT_EQ(instanceCfgText("Velkhaus"), test::instanceCfgWith("name=Velkhaus"));
    EXPECT_EQ(instanceCfgText("Velkhaus").size(), 216u);
    EXPECT_EQ(instanceCfgText("").size(), 208u);
    struct Case {
        const char* name;
        const char* line;
    };
    for (const Case& c : {
             Case{"", "name="},
             Case{"The Gable Fields \xc3\xa9t\xc3\xa9", "name=The Gable Fields \xc3\xa9t\xc3\xa9"},
             Case{"a=b [x] #1 'q'", "name=a=b [x] #1 'q'"},
         }) {
        EXPECT_EQ(instanceCfgText(c.name), test::instanceCfgWith(c.line)) << c.name;
    }
}

TEST(InstanceCfg, QuotesANameTheSettingsReaderWouldChange) {
    struct Case {
        const char* name;
        const char* line;
    };
    for (const Case& c : {
             Case{"Foo, Bar", R"(name="Foo, Bar")"},
             Case{"Foo; Bar", R"(name="Foo; Bar")"},
             Case{R"(Say "hi")", R"(name="Say \"hi\"")"},
             Case{R"(back\slash)", R"(name="back\\slash")"},
             Case{" leading", R"(name=" leading")"},
             Case{"trailing\t", "name=\"trailing\t\""},
             Case{R"(",\)", R"(name="\",\\")"},
         }) {
        EXPECT_EQ(instanceCfgText(c.name), test::instanceCfgWith(c.line)) << c.name;
    }
}

TEST(InstanceCfg, ReplacesTheFileAndLeavesTheRestOfTheInstance) {
    TempDirectory instance;
    writeFile(instance.path() + "/instance.cfg", "[General]\nname=Old\nnotes=gone\n");
    writeFile(instance.path() + "/mmc-pack.json", "kept");
    const auto dir = Directory::open(instance.path()).value();
    DirectorySyncs touched;
    for (int run = 0; run < 2; ++run) {
        StderrCapture stderrText;
        ASSERT_TRUE(writeInstanceCfg(dir, "Gable Fields", touched).has_value());
        EXPECT_EQ(stderrText.text(), "info: Writing instance.cfg\n");
        EXPECT_EQ(readFile(instance.path() + "/instance.cfg"),
                  test::instanceCfgWith("name=Gable Fields"));
    }
    EXPECT_EQ(readFile(instance.path() + "/mmc-pack.json"), "kept");
    EXPECT_EQ(listTree(instance.path()), "instance.cfg\nmmc-pack.json\n");
}

} // namespace
} // namespace tarnvex
