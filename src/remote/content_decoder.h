#pragma once

#include "error.h"

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace tarnvex {

/// Where decoded bytes go, a piece at a time.
class DecodedSink {
public:
    virtual ~DecodedSink() = default;
    virtual Result<void> take(std::span<const std::byte> decoded) = 0;
};

/// Undoes one HTTP content coding as the body arrives, a piece at a time.
class ContentDecoder {
public:
    virtual ~ContentDecoder() = default;

    /// The decoder for a content-encoding header value (case-insensitive, blanks around it
    /// ignored): none or "identity", "deflate", "gzip" or "x-gzip", "zstd". Any other coding,
    /// "compress" among them, fails with `UnsupportedCompressionMethod`.
    static Result<std::unique_ptr<ContentDecoder>> forCoding(std::string_view coding);

    /// Hands what `in` decodes to on to `out` in pieces of at most 16 KiB, so that memory stays
    /// flat however far a piece expands. Fails with `DecompressionFailed` on a corrupt stream,
    /// or with the first error `out` returns.
    virtual Result<void> decode(std::span<const std::byte> in, DecodedSink& out) = 0;

    /// Appends what `in` decodes to onto `out`. Fails with `CatalogueTooLarge` as soon as `out`
    /// would grow past `limit` bytes, and with `DecompressionFailed` on a corrupt stream.
    Result<void> decode(std::span<const std::byte> in, std::string& out, std::size_t limit);

    /// After the last piece: fails with `DecompressionFailed` if the stream is not complete.
    virtual Result<void> finish() = 0;
};

} // namespace tarnvex
