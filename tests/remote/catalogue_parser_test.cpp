#include "remote/catalogue_parser.h"

#include "support/fails_with.h"

#include <gtest/gtest.h>

namespace tarnvex {
namespace {

using test::FailsWith;

const std::string fabricEntry = R"({"server": "Gable Fields", "version": "1.20.1",
    "loader": "fabric", "loaderVersion": "0.15.11", "address": "play.example.org:25565"})";

TEST(CatalogueParser, ReadsEntriesInDocumentOrderWithKeysInAnyOrder) {
    const auto parsed = parseCatalogue(
        "[" + fabricEntry +
        R"(, {"address": "b.example.net", "loaderVersion": "47.3.0", "loader": "forge",
              "version": "1.21.1", "server": "Second"}] )");
    ASSERT_TRUE(parsed.has_value());
    ASSERT_EQ(parsed->size(), 2u);
    const MinecraftServerEntry& first = (*parsed)[0];
    EXPECT_EQ(first.server, "Gable Fields");
    EXPECT_EQ(first.version, "1.20.1");
    EXPECT_EQ(first.loader, "fabric");
    EXPECT_EQ(first.loaderVersion, "0.15.11");
    EXPECT_EQ(first.address, "play.example.org:25565");
    const MinecraftServerEntry& second = (*parsed)[1];
    EXPECT_EQ(second.server, "Second");
    EXPECT_EQ(second.loader, "forge");
    EXPECT_EQ(second.address, "b.example.net");
}

TEST(CatalogueParser, DecodesEscapes) {
    const auto parsed = parseCatalogue(
        R"([{"server": "Q\"B\\S\/\u00e9\n", "version": "1", "loader": "l", "loaderVersion": "",
             "address": "\u0041"}])");
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ((*parsed)[0].server, "Q\"B\\S/\xC3\xA9\n");
    EXPECT_EQ((*parsed)[0].address, "A");
    EXPECT_EQ((*parsed)[0].loaderVersion, "");
}

TEST(CatalogueParser, AcceptsAnEmptyArray) {
    const auto parsed = parseCatalogue(" [ ] \n");
    ASSERT_TRUE(parsed.has_value());
    EXPECT_TRUE(parsed->empty());
}

TEST(CatalogueParser, NamesEachWayADocumentIsRefused) {
    const std::string entryWithout = R"({"server": "a", "version": "1", "loader": "fabric",
                                        "address": "x"})";
    const struct {
        std::string body;
        Error error;
    } cases[] = {
        {R"({"server": "a"})", Error::UnexpectedToken},
        {R"("text")", Error::UnexpectedToken},
        {"42", Error::UnexpectedToken},
        {"[1]", Error::UnexpectedToken},
        {"[[]]", Error::UnexpectedToken},
        {R"([{"server": 1}])", Error::UnexpectedToken},
        {R"([{"version": 1.5}])", Error::UnexpectedToken},
        {R"([{"server": null}])", Error::UnexpectedToken},
        {R"([{"server": true}])", Error::UnexpectedToken},
        {R"([{"server": {}}])", Error::UnexpectedToken},
        {R"([{"server": []}])", Error::UnexpectedToken},
        {R"([{"port": "25565"}])", Error::UnknownField},
        {R"([{"Server": "a"}])", Error::UnknownField},
        {R"([{"server": "a", "server": "b"}])", Error::DuplicateField},
        {"[" + entryWithout + "]", Error::MissingField},
        {"[{}]", Error::MissingField},
        {"[" + fabricEntry + "] x", Error::SyntaxError},
        {"[" + fabricEntry + "][]", Error::SyntaxError},
        {"[" + fabricEntry + ",]", Error::SyntaxError},
        {R"([{"server" "a"}])", Error::SyntaxError},
        {"[\"\xFF\"]", Error::SyntaxError},
        {"", Error::UnexpectedEndOfInput},
        {"  \n", Error::UnexpectedEndOfInput},
        {"[", Error::UnexpectedEndOfInput},
        {"[" + fabricEntry, Error::UnexpectedEndOfInput},
        {R"([{"server": "a)", Error::UnexpectedEndOfInput},
    };
    for (const auto& c : cases) {
        EXPECT_THAT(parseCatalogue(c.body), FailsWith(c.error)) << c.body;
    }
}

} // namespace
} // namespace tarnvex
