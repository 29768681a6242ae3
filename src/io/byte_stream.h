#pragma once

#include "error.h"

#include <cstddef>
#include <span>

namespace tarnvex {

/// Where bytes go: a file, a pipe, or a buffer in a test.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    /// Writes some of `bytes` and returns how many were taken (at least one unless empty).
    virtual Result<std::size_t> writeSome(std::span<const std::byte> bytes) = 0;
};

/// Where bytes come from.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    /// Reads into `buffer`; 0 means the end of the input.
    virtual Result<std::size_t> readSome(std::span<std::byte> buffer) = 0;
};

} // namespace tarnvex
