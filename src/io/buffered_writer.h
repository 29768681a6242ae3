#pragma once

#include "io/byte_stream.h"

#include <cstddef>
#include <string_view>
#include <vector>

namespace tarnvex {

/// Collects small writes and hands them to the sink a buffer at a time; nothing reaches the sink
/// until the buffer fills or `flush` is called.
class BufferedWriter {
public:
    BufferedWriter(ByteSink& sink, std::size_t capacity);
    /// Starts with `capacity` and doubles it each time the buffer fills, up to `largest`: the
    /// first bytes reach the sink soon, the bulk in large writes.
    BufferedWriter(ByteSink& sink, std::size_t capacity, std::size_t largest);

    Result<void> write(std::span<const std::byte> bytes);
    Result<void> write(std::string_view text);
    Result<void> flush();

private:
    Result<void> writeAll(std::span<const std::byte> bytes);

    ByteSink& sink_;
    std::vector<std::byte> buffer_;
    std::size_t largest_;
    std::size_t used_ = 0;
};

} // namespace tarnvex
