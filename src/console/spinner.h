#pragma once

#include "error.h"
#include "io/buffered_writer.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace tarnvex {

/// Draws frame `frame` (0 for anything above 4) and the count in KiB on the current console line,
/// flushes, and returns the frame to draw next.
Result<std::size_t> spinner(BufferedWriter& out, std::size_t frame, std::uint64_t byteCount);

/// Progress of one download on the console: the first frame at once, then at most one redraw per
/// 100 ms, and a wipe of the line at the end.
class SpinnerProgress {
public:
    using Clock = std::function<std::int64_t()>;

    /// `clock` gives wall-clock milliseconds.
    SpinnerProgress(BufferedWriter& out, Clock clock);

    /// Draws the first frame with the count 0.
    Result<void> start();
    /// Redraws with `byteCount` if 100 ms have passed since the last frame.
    Result<void> update(std::uint64_t byteCount);
    /// Overwrites the spinner line with blanks and moves to the next line.
    Result<void> finish();

private:
    BufferedWriter& out_;
    Clock clock_;
    std::size_t frame_ = 0;
    std::int64_t lastDrawn_ = 0;
};

} // namespace tarnvex
