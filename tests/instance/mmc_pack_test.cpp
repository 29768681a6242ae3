#include "instance/mmc_pack.h"

#include "support/expected_files.h"
#include "support/fails_with.h"
#include "support/stderr_capture.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace tarnvex {
namespace {

using test::FailsWith;
using test::listTree;
using test::readFile;
using test::StderrCapture;
using test::TempDirectory;
using test::writeFile;

MinecraftServerEntry entry(std::string loader, std::string version, std::string loaderVersion) {
    return {std::move(loader), "Gable Fields", std::move(version), std::move(loaderVersion),
            "velkorhub.net"};
}

const std::string fabricPack = R"({
   "formatVersion": 1,
   "components": [
      {
         "cachedName": "LWJGL 3",
         "cachedVersion": "3.3.1",
         "cachedVolatile": true,
         "dependencyOnly": true,
         "important": null,
         "version": "3.3.1",
         "uid": "org.lwjgl3",
         "cachedRequires": [
            {
               "suggests": null,
               "equals": null,
               "uid": ""
            }
         ]
      },
      {
         "cachedName": "Minecraft",
         "cachedVersion": "1.20.1",
         "cachedVolatile": null,
         "dependencyOnly": null,
         "important": true,
         "version": "1.20.1",
         "uid": "net.minecraft",
         "cachedRequires": [
            {
               "suggests": "3.3.1",
               "equals": null,
               "uid": "org.lwjgl3"
            }
         ]
      },
      {
         "cachedName": "Intermediary Mappings",
         "cachedVersion": "1.20.1",
         "cachedVolatile": true,
         "dependencyOnly": true,
         "important": null,
         "version": "1.20.1",
         "uid": "net.fabricmc.intermediary",
         "cachedRequires": [
            {
               "suggests": null,
               "equals": "1.20.1",
               "uid": "net.minecraft"
            }
         ]
      },
      {
         "cachedName": "Fabric Loader",
         "cachedVersion": "0.15.11",
         "cachedVolatile": null,
         "dependencyOnly": null,
         "important": null,
         "version": "0.15.11",
         "uid": "net.fabricmc.fabric-loader",
         "cachedRequires": [
            {
               "suggests": null,
               "equals": null,
               "uid": "net.fabricmc.intermediary"
            }
         ]
      }
   ]
})";

TEST(VersionExtractMajor, TakesTheNumberBetweenTheFirstTwoDots) {
    struct Case {
        const char* version;
        Result<std::uint8_t> major;
    };
    const auto fails = [](Error e) { return Result<std::uint8_t>(std::unexpected(e)); };
    for (const Case& c : {
             Case{"1.20.1", 20},
             Case{"1.21", 21},
             Case{"1.8.9", 8},
             Case{"1.21.4", 21},
             Case{"1.255", 255},
             Case{"1.0", 0},
             Case{"1.20-pre1", fails(Error::InvalidCharacter)},
             Case{"1.300", fails(Error::Overflow)},
             Case{"1.256.0", fails(Error::Overflow)},
             Case{"23w13a", fails(Error::InvalidCharacter)},
             Case{"", fails(Error::InvalidCharacter)},
             Case{"1.", fails(Error::InvalidCharacter)},
             Case{"1..2", fails(Error::InvalidCharacter)},
             Case{"1. 20", fails(Error::InvalidCharacter)},
         }) {
        EXPECT_EQ(versionExtractMajor(c.version), c.major) << c.version;
    }
}

TEST(MmcPack, WritesTheFabricAndForgeComponentsInTheLauncherLayout) {
    EXPECT_EQ(mmcPackText(entry("fabric", "1.20.1", "0.15.11")), fabricPack);
    EXPECT_EQ(mmcPackText(entry("forge", "1.21.1", "52.0.16")), test::forgeMmcPack);
}

TEST(MmcPack, ChoosesTheNewerLwjglFromMajorVersion21) {
    struct Case {
        const char* version;
        const char* lwjgl;
    };
    for (const Case& c : {Case{"1.20.6", "3.3.1"}, Case{"1.7.10", "3.3.1"}, Case{"1.21", "3.3.3"},
                          Case{"1.21.1", "3.3.3"}, Case{"1.255", "3.3.3"}}) {
        const std::string text = mmcPackText(entry("fabric", c.version, "0.15.11")).value();
        const std::string lwjgl = c.lwjgl;
        // Only the LWJGL component has it as its version, and only the game suggests it.
        EXPECT_NE(text.find("\"version\": \"" + lwjgl + "\""), std::string::npos) << c.version;
        EXPECT_NE(text.find("\"suggests\": \"" + lwjgl + "\""), std::string::npos) << c.version;
    }
}

TEST(MmcPack, EscapesQuotesBackslashesAndControlBytesOnly) {
    const std::string text =
        mmcPackText(entry("forge", "1.20.1", "a\"b\\c\x01\x1f\b\f\n\r\t/\x7f\xc3\xa9")).value();
    EXPECT_NE(text.find(R"("version": "a\"b\\c\u0001\u001f\b\f\n\r\t/)"
                        "\x7f\xc3\xa9\",\n"),
              std::string::npos)
        << text;
}

TEST(MmcPack, RefusesTextThatIsNotUtf8) {
    EXPECT_THAT(mmcPackText(entry("fabric", "1.20.1", "0.15\xff")),
                FailsWith(Error::InvalidCharacter));
}

TEST(MmcPack, OverwritesTheFileAndLeavesTheRestOfTheInstance) {
    TempDirectory instance;
    writeFile(instance.path() + "/mmc-pack.json", "{\"formatVersion\": 1, \"old\": true}\n");
    writeFile(instance.path() + "/instance.cfg", "kept");
    const auto dir = Directory::open(instance.path()).value();
    DirectorySyncs touched;
    for (int run = 0; run < 2; ++run) {
        StderrCapture stderrText;
        ASSERT_TRUE(writeMmcPack(dir, entry("fabric", "1.20.1", "0.15.11"), touched).has_value());
        EXPECT_EQ(stderrText.text(), "info: Writing mmc-pack.json\n");
        EXPECT_EQ(readFile(instance.path() + "/mmc-pack.json"), fabricPack);
    }
    EXPECT_EQ(readFile(instance.path() + "/instance.cfg"), "kept");
    EXPECT_EQ(listTree(instance.path()), "instance.cfg\nmmc-pack.json\n");
}

TEST(MmcPack, ARefusedEntryTouchesNoFile) {
    struct Case {
        MinecraftServerEntry entry;
        Error error;
        std::string message;
    };
    for (const Case& c : {
             Case{entry("Fabric", "1.20.1", "0.15.11"), Error::InvalidModLoader,
                  "error: Mod loader Fabric not supported.\n"},
             Case{entry("neoforge", "1.20.1", "0.15.11"), Error::InvalidModLoader,
                  "error: Mod loader neoforge not supported.\n"},
             Case{entry("", "1.20.1", "0.15.11"), Error::InvalidModLoader,
                  "error: Mod loader  not supported.\n"},
             Case{entry("fabric", "23w13a", "0.15.11"), Error::InvalidCharacter, ""},
             Case{entry("forge", "1.300", "47.2.0"), Error::Overflow, ""},
         }) {
        for (const bool existing : {false, true}) {
            TempDirectory instance;
            if (existing) {
                writeFile(instance.path() + "/mmc-pack.json", "previous");
            }
            StderrCapture stderrText;
            DirectorySyncs touched;
            EXPECT_THAT(writeMmcPack(Directory::open(instance.path()).value(), c.entry, touched),
                        FailsWith(c.error));
            EXPECT_EQ(stderrText.text(), "info: Writing mmc-pack.json\n" + c.message);
            EXPECT_EQ(listTree(instance.path()), existing ? "mmc-pack.json\n" : "");
            if (existing) {
                EXPECT_EQ(readFile(instance.path() + "/mmc-pack.json"), "previous");
            }
        }
    }
}

} // namespace
} // namespace tarnvex
