#include "console/line_input.h"

#include "support/fails_with.h"
#include "support/memory_console.h"

#include <gtest/gtest.h>

namespace tarnvex {
namespace {

using test::FailsWith;
using Console = test::MemoryConsole;

TEST(Input, ShowsThePromptAndReadsOneLine) {
    Console console("hello world\nnext\n");
    EXPECT_EQ(input(console.in, console.out, "SELECT"), "hello world");
    EXPECT_EQ(console.sink.text, "SELECT> ");
    EXPECT_EQ(input(console.in, console.out, ""), "next");
    EXPECT_EQ(console.sink.text, "SELECT> > ");
}

TEST(Input, DropsOneTrailingCarriageReturnAndKeepsBlanks) {
    Console console(" a\t \r\r\n\r\n");
    EXPECT_EQ(input(console.in, console.out, ""), " a\t \r");
    EXPECT_EQ(input(console.in, console.out, ""), "");
}

TEST(Input, ReadsLinesLongerThanTheBufferInPieces) {
    const std::string longLine(1000, 'x');
    Console console(longLine + "\nshort\n", 7);
    EXPECT_EQ(input(console.in, console.out, ""), longLine);
    EXPECT_EQ(input(console.in, console.out, ""), "short");
}

TEST(Input, GivesAnEmptyLineAtTheEndOfInputAndDiscardsAPartialLine) {
    Console console("partial");
    EXPECT_EQ(input(console.in, console.out, ""), "");
    EXPECT_EQ(input(console.in, console.out, ""), "");
}

TEST(Input, ReportsAFailedFlush) {
    Console console("1\n");
    console.sink.failing = true;
    EXPECT_THAT(input(console.in, console.out, ""), FailsWith(Error::WriteFailed));
}

TEST(NumberedPrompt, AcceptsANumberUpToTheBound) {
    Console console("3\n");
    EXPECT_EQ(inputNumberBetweenOneAnd(console.in, console.out, 3), 3);
    EXPECT_EQ(console.sink.text, "SELECT> ");

    Console largest("255\n");
    EXPECT_EQ(inputNumberBetweenOneAnd(largest.in, largest.out, 255), 255);
}

TEST(NumberedPrompt, ComplainsUntilAValidChoice) {
    Console console("abc\n\n 2\n256\n-1\n4\n0\n1000x\n2\n");
    EXPECT_EQ(inputNumberBetweenOneAnd(console.in, console.out, 3), 2);
    EXPECT_EQ(console.sink.text, "SELECT> "
                                 "\"abc\" is not a valid number.\nPlease enter a valid number\n"
                                 "SELECT> "
                                 "\"\" is not a valid number.\nPlease enter a valid number\n"
                                 "SELECT> "
                                 "\" 2\" is not a valid number.\nPlease enter a valid number\n"
                                 "SELECT> "
                                 "Please enter a small positive number\n"
                                 "SELECT> "
                                 "Please enter a small positive number\n"
                                 "SELECT> "
                                 "\nInvalid selection\n"
                                 "SELECT> "
                                 "\nInvalid selection\n"
                                 "SELECT> "
                                 "Please enter a small positive number\n"
                                 "SELECT> ");
}

TEST(NumberedPrompt, EndsWithEndOfStreamOnALineOfItsOwnWhenTheInputEnds) {
    Console console("x\n");
    EXPECT_THAT(inputNumberBetweenOneAnd(console.in, console.out, 3),
                FailsWith(Error::EndOfStream));
    EXPECT_EQ(console.sink.text, "SELECT> \"x\" is not a valid number.\n"
                                 "Please enter a valid number\n"
                                 "SELECT> \n");
    Console partial("2");
    EXPECT_THAT(inputNumberBetweenOneAnd(partial.in, partial.out, 3),
                FailsWith(Error::EndOfStream));
    EXPECT_EQ(partial.sink.text, "SELECT> \n");
}

} // namespace
} // namespace tarnvex
