#include "console/spinner.h"

#include <array>
#include <charconv>
#include <string_view>

namespace tarnvex {

namespace {

constexpr std::array<std::string_view, 5> frames{"[#>>>]", "[>#>>]", "[>>#>]", "[>>>#]", "[>>>>]"};
constexpr std::int64_t redrawInterval = 100;

} // namespace

Result<std::size_t> spinner(BufferedWriter& out, std::size_t frame, std::uint64_t byteCount) {
    const std::size_t shown = frame < frames.size() ? frame : 0;
    const std::string_view picture = frames.at(shown);
    // "\r", the frame, a blank, up to 20 digits and " KiB" fit without allocating.
    std::array<char, 40> line{};
    std::size_t used = 0;
    line[used++] = '\r';
    picture.copy(line.data() + used, picture.size());
    used += picture.size();
    line[used++] = ' ';
    const auto [end, failure] =
        std::to_chars(line.data() + used, line.data() + line.size(), byteCount / 1024);
    (void)failure;
    used = static_cast<std::size_t>(end - line.data());
    constexpr std::string_view unit = " KiB";
    unit.copy(line.data() + used, unit.size());
    used += unit.size();

    if (auto written = out.write(std::string_view(line.data(), used)); !written) {
        return std::unexpected(written.error());
    }
    if (auto flushed = out.flush(); !flushed) {
        return std::unexpected(flushed.error());
    }
    return shown + 1;
}

SpinnerProgress::SpinnerProgress(BufferedWriter& out, Clock clock)
    : out_(out), clock_(std::move(clock)) {}

Result<void> SpinnerProgress::start() {
    lastDrawn_ = clock_();
    auto next = spinner(out_, 0, 0);
    if (!next) {
        return std::unexpected(next.error());
    }
    frame_ = *next;
    return {};
}

Result<void> SpinnerProgress::update(std::uint64_t byteCount) {
    if (clock_() - lastDrawn_ < redrawInterval) {
        return {};
    }
    auto next = spinner(out_, frame_, byteCount);
    if (!next) {
        return std::unexpected(next.error());
    }
    frame_ = *next;
    lastDrawn_ = clock_();
    return {};
}

Result<void> SpinnerProgress::finish() {
    if (auto written = out_.write("\r                             \n"); !written) {
        return written;
    }
    return out_.flush();
}

} // namespace tarnvex
