#include "platform/environment.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

extern char** environ;

namespace tarnvex {
namespace {

TEST(Environment, KeepsTheOneVariableAlsoWhenScrubbedTwice) {
    std::string path = "PATH=/usr/bin";
    std::string home = "HOME=/home/player";
    std::array<char*, 3> entries = {path.data(), home.data(), nullptr};
    char** const original = environ;
    environ = entries.data();
    keepOnlyEnvironmentVariable("HOME");
    keepOnlyEnvironmentVariable("HOME");
    char** const scrubbed = environ;
    environ = original;
    EXPECT_STREQ(scrubbed[0], "HOME=/home/player");
    EXPECT_EQ(scrubbed[1], nullptr);
}

} // namespace
} // namespace tarnvex
