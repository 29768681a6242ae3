#pragma once

#include "io/byte_stream.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace tarnvex::test {

/// Everything written, kept in memory; can be told to fail.
class StringSink final : public ByteSink {
public:
    Result<std::size_t> writeSome(std::span<const std::byte> bytes) override {
        if (failing) {
            return std::unexpected(Error::WriteFailed);
        }
        text.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return bytes.size();
    }

    std::string text;
    bool failing = false;
};

/// Serves fixed text in pieces of at most `pieceSize` bytes, then the end.
class StringSource final : public ByteSource {
public:
    explicit StringSource(std::string text, std::size_t pieceSize = 1 << 20)
        : text_(std::move(text)), pieceSize_(pieceSize) {}

    Result<std::size_t> readSome(std::span<std::byte> buffer) override {
        const std::size_t count = std::min({buffer.size(), text_.size() - offset_, pieceSize_});
        std::memcpy(buffer.data(), text_.data() + offset_, count);
        offset_ += count;
        return count;
    }

private:
    std::string text_;
    std::size_t pieceSize_;
    std::size_t offset_ = 0;
};

} // namespace tarnvex::test
