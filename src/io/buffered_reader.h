#pragma once

#include "io/byte_stream.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tarnvex {

/// Reads a source through a fixed buffer, a line at a time.
class BufferedReader {
public:
    BufferedReader(ByteSource& source, std::size_t capacity);

    /// Appends the bytes up to the next line feed to `line` and consumes the line feed. Returns
    /// false when the input ends before a line feed.
    Result<bool> readUntilLineFeed(std::string& line);

private:
    ByteSource& source_;
    std::vector<std::byte> buffer_;
    std::size_t start_ = 0;
    std::size_t end_ = 0;
};

} // namespace tarnvex
