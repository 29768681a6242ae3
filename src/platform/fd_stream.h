#pragma once

#include "io/byte_stream.h"

namespace tarnvex {

/// Writes to a file descriptor it does not own; `failure` is the name a failed write reports.
class FdSink final : public ByteSink {
public:
    FdSink(int fd, Error failure) : fd_(fd), failure_(failure) {}
    Result<std::size_t> writeSome(std::span<const std::byte> bytes) override;

private:
    int fd_;
    Error failure_;
};

/// Reads from a file descriptor it does not own.
class FdSource final : public ByteSource {
public:
    FdSource(int fd, Error failure) : fd_(fd), failure_(failure) {}
    Result<std::size_t> readSome(std::span<std::byte> buffer) override;

private:
    int fd_;
    Error failure_;
};

/// Writes all of `bytes` to `fd`, continuing short writes; the first failure's errno is returned.
int writeAllToFd(int fd, std::span<const std::byte> bytes);

} // namespace tarnvex
