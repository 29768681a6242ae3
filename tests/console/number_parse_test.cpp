#include "console/number_parse.h"

#include <gtest/gtest.h>

namespace tarnvex {
namespace {

using Kind = SmallNumber::Kind;

struct Case {
    const char* text;
    Kind kind;
    int value;
};

TEST(NumberParse, FollowsTheDecimalRulesOfTheNumberedPrompt) {
    const Case cases[] = {
        {"3", Kind::Number, 3},       {"255", Kind::Number, 255},   {"007", Kind::Number, 7},
        {"+2", Kind::Number, 2},      {"0_2", Kind::Number, 2},     {"1_0", Kind::Number, 10},
        {"2__5", Kind::Number, 25},   {"0", Kind::Number, 0},       {"-0", Kind::Number, 0},
        {"-0_0", Kind::Number, 0},    {"256", Kind::TooLarge, 0},   {"999", Kind::TooLarge, 0},
        {"2550", Kind::TooLarge, 0},  {"-1", Kind::TooLarge, 0},    {"-01", Kind::TooLarge, 0},
        {"1000x", Kind::TooLarge, 0}, {"-1x", Kind::TooLarge, 0},   {"", Kind::NotANumber, 0},
        {"+", Kind::NotANumber, 0},   {"-", Kind::NotANumber, 0},   {"_2", Kind::NotANumber, 0},
        {"2_", Kind::NotANumber, 0},  {"+_2", Kind::NotANumber, 0}, {" 2", Kind::NotANumber, 0},
        {"2 ", Kind::NotANumber, 0},  {"\t2", Kind::NotANumber, 0}, {"two", Kind::NotANumber, 0},
        {"10x", Kind::NotANumber, 0}, {"+-2", Kind::NotANumber, 0}, {"1.5", Kind::NotANumber, 0},
        {"-x1", Kind::NotANumber, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("input \"") + c.text + "\"");
        const SmallNumber parsed = parseSmallNumber(c.text);
        EXPECT_EQ(parsed.kind, c.kind);
        if (c.kind == Kind::Number) {
            EXPECT_EQ(parsed.value, c.value);
        }
    }
}

} // namespace
} // namespace tarnvex
