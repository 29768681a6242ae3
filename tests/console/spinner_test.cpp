#include "console/spinner.h"

#include "support/fails_with.h"
#include "support/memory_stream.h"

#include <gtest/gtest.h>

namespace tarnvex {
namespace {

using test::FailsWith;
using test::StringSink;

TEST(Spinner, DrawsTheFramesInTurnAndWrapsAboveFour) {
    StringSink sink;
    BufferedWriter out(sink, 1024);
    const char* expected[] = {"[#>>>]", "[>#>>]", "[>>#>]", "[>>>#]", "[>>>>]"};
    for (std::size_t frame = 0; frame < 5; ++frame) {
        sink.text.clear();
        EXPECT_EQ(spinner(out, frame, 0), frame + 1);
        EXPECT_EQ(sink.text, std::string("\r") + expected[frame] + " 0 KiB");
    }
    for (const std::size_t frame : {std::size_t{5}, std::size_t{6}, std::size_t{1000}}) {
        sink.text.clear();
        EXPECT_EQ(spinner(out, frame, 0), 1u);
        EXPECT_EQ(sink.text, "\r[#>>>] 0 KiB");
    }
}

TEST(Spinner, CountsWholeKibibytes) {
    StringSink sink;
    BufferedWriter out(sink, 1024);
    const struct {
        std::uint64_t bytes;
        const char* shown;
    } cases[] = {{1023, "0"},
                 {1024, "1"},
                 {5000, "4"},
                 {1048576, "1024"},
                 {UINT64_MAX, "18014398509481983"}};
    for (const auto& c : cases) {
        sink.text.clear();
        ASSERT_TRUE(spinner(out, 2, c.bytes).has_value());
        EXPECT_EQ(sink.text, std::string("\r[>>#>] ") + c.shown + " KiB");
    }
}

TEST(Spinner, ReportsAFailedWrite) {
    StringSink sink;
    sink.failing = true;
    BufferedWriter out(sink, 1024);
    EXPECT_THAT(spinner(out, 0, 0), FailsWith(Error::WriteFailed));
}

TEST(SpinnerProgress, RedrawsAtMostEveryHundredMilliseconds) {
    StringSink sink;
    BufferedWriter out(sink, 1024);
    std::int64_t now = 1'000'000;
    SpinnerProgress progress(out, [&] { return now; });
    ASSERT_TRUE(progress.start().has_value());
    now += 99;
    ASSERT_TRUE(progress.update(2048).has_value());
    now += 1;
    ASSERT_TRUE(progress.update(4096).has_value());
    now += 50;
    ASSERT_TRUE(progress.update(8192).has_value());
    now += 100;
    ASSERT_TRUE(progress.update(10240).has_value());
    ASSERT_TRUE(progress.finish().has_value());
    EXPECT_EQ(sink.text, "\r[#>>>] 0 KiB\r[>#>>] 4 KiB\r[>>#>] 10 KiB"
                         "\r                             \n");
}

} // namespace
} // namespace tarnvex
