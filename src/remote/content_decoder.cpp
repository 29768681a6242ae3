#include "remote/content_decoder.h"

#include "remote/header_text.h"

#include <zlib.h>
#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>
#include <array>
#include <new>
#include <stdexcept>

namespace tarnvex {

namespace {

// The most a decompressor produces before its output is handed on.
constexpr std::size_t outputStep = std::size_t{16} * 1024;

/// Appends to a string, refusing to grow it past a limit.
class BoundedString final : public DecodedSink {
public:
    BoundedString(std::string& out, std::size_t limit) : out_(out), limit_(limit) {}

    Result<void> take(std::span<const std::byte> decoded) override {
        if (out_.size() > limit_ || decoded.size() > limit_ - out_.size()) {
            return std::unexpected(Error::CatalogueTooLarge);
        }
        try {
            out_.append(reinterpret_cast<const char*>(decoded.data()), decoded.size());
        } catch (const std::bad_alloc&) {
            return std::unexpected(Error::OutOfMemory);
        } catch (const std::length_error&) {
            return std::unexpected(Error::OutOfMemory);
        }
        return {};
    }

private:
    std::string& out_;
    std::size_t limit_;
};

class IdentityDecoder final : public ContentDecoder {
public:
    Result<void> decode(std::span<const std::byte> in, DecodedSink& out) override {
        if (in.empty()) {
            return {};
        }
        return out.take(in);
    }

    Result<void> finish() override { return {}; }
};

class ZlibDecoder final : public ContentDecoder {
public:
    ZlibDecoder() = default;
    ZlibDecoder(const ZlibDecoder&) = delete;
    ZlibDecoder& operator=(const ZlibDecoder&) = delete;
    ~ZlibDecoder() override {
        if (initialised_) {
            inflateEnd(&stream_);
        }
    }

    /// 15 window bits: the 32 KiB window that any deflate stream may refer back into.
    Result<void> start(int windowBits) {
        const int started = inflateInit2(&stream_, windowBits);
        if (started != Z_OK) {
            return std::unexpected(started == Z_MEM_ERROR ? Error::OutOfMemory
                                                          : Error::DecompressionFailed);
        }
        initialised_ = true;
        return {};
    }

    Result<void> decode(std::span<const std::byte> in, DecodedSink& out) override {
        while (!in.empty()) {
            // zlib counts in uInt.
            const auto piece = in.first(std::min<std::size_t>(in.size(), 1u << 30));
            in = in.subspan(piece.size());
            if (auto decoded = decodePiece(piece, out); !decoded) {
                return decoded;
            }
        }
        return {};
    }

    Result<void> finish() override {
        if (!ended_) {
            return std::unexpected(Error::DecompressionFailed);
        }
        return {};
    }

private:
    Result<void> decodePiece(std::span<const std::byte> in, DecodedSink& out) {
        if (ended_) {
            return std::unexpected(Error::DecompressionFailed);
        }
        // zlib never writes through next_in; its type just predates const.
        stream_.next_in = reinterpret_cast<Bytef*>(const_cast<std::byte*>(in.data()));
        stream_.avail_in = static_cast<uInt>(in.size());
        bool outputFull = false;
        while (!ended_ && (stream_.avail_in > 0 || outputFull)) {
            stream_.next_out = reinterpret_cast<Bytef*>(output_.data());
            stream_.avail_out = static_cast<uInt>(output_.size());
            const int inflated = inflate(&stream_, Z_NO_FLUSH);
            if (inflated == Z_MEM_ERROR) {
                return std::unexpected(Error::OutOfMemory);
            }
            if (inflated != Z_OK && inflated != Z_STREAM_END && inflated != Z_BUF_ERROR) {
                return std::unexpected(Error::DecompressionFailed);
            }
            outputFull = stream_.avail_out == 0;
            const std::size_t produced = output_.size() - stream_.avail_out;
            if (produced > 0) {
                if (auto taken = out.take(std::span(output_).first(produced)); !taken) {
                    return taken;
                }
            }
            ended_ = inflated == Z_STREAM_END;
            if (inflated == Z_BUF_ERROR) {
                break;
            }
        }
        // Bytes after the end of the stream are not part of any body we could have been sent.
        if (ended_ && stream_.avail_in > 0) {
            return std::unexpected(Error::DecompressionFailed);
        }
        return {};
    }

    z_stream stream_{};
    std::array<std::byte, outputStep> output_{};
    bool initialised_ = false;
    bool ended_ = false;
};

class ZstdDecoder final : public ContentDecoder {
public:
    ZstdDecoder() = default;
    ZstdDecoder(const ZstdDecoder&) = delete;
    ZstdDecoder& operator=(const ZstdDecoder&) = delete;
    ~ZstdDecoder() override { ZSTD_freeDStream(stream_); }

    Result<void> start() {
        stream_ = ZSTD_createDStream();
        if (stream_ == nullptr) {
            return std::unexpected(Error::OutOfMemory);
        }
        // An 8 MiB window at most: a frame that asks for more is refused, not allocated.
        if (ZSTD_isError(ZSTD_DCtx_setParameter(stream_, ZSTD_d_windowLogMax, 23))) {
            return std::unexpected(Error::DecompressionFailed);
        }
        return {};
    }

    Result<void> decode(std::span<const std::byte> in, DecodedSink& out) override {
        // With no input zstd would start looking for another frame.
        if (in.empty()) {
            return {};
        }
        ZSTD_inBuffer input{in.data(), in.size(), 0};
        for (;;) {
            ZSTD_outBuffer output{output_.data(), output_.size(), 0};
            const std::size_t hint = ZSTD_decompressStream(stream_, &output, &input);
            if (ZSTD_isError(hint)) {
                return std::unexpected(ZSTD_getErrorCode(hint) == ZSTD_error_memory_allocation
                                           ? Error::OutOfMemory
                                           : Error::DecompressionFailed);
            }
            frameComplete_ = hint == 0;
            if (output.pos > 0) {
                if (auto taken = out.take(std::span(output_).first(output.pos)); !taken) {
                    return taken;
                }
            }
            // Output to spare means nothing is held back for lack of room. A frame that ended
            // just as the output filled holds nothing back either, and calling again with no
            // input would start on a next frame and forget that this one is complete.
            if (input.pos == input.size && (output.pos < output.size || frameComplete_)) {
                return {};
            }
        }
    }

    Result<void> finish() override {
        if (!frameComplete_) {
            return std::unexpected(Error::DecompressionFailed);
        }
        return {};
    }

private:
    ZSTD_DStream* stream_ = nullptr;
    std::array<std::byte, outputStep> output_{};
    bool frameComplete_ = false;
};

template <typename Decoder, typename... Arguments>
Result<std::unique_ptr<ContentDecoder>> started(Arguments... arguments) {
    std::unique_ptr<Decoder> decoder(new (std::nothrow) Decoder());
    if (!decoder) {
        return std::unexpected(Error::OutOfMemory);
    }
    if (auto ready = decoder->start(arguments...); !ready) {
        return std::unexpected(ready.error());
    }
    return decoder;
}

} // namespace

Result<void> ContentDecoder::decode(std::span<const std::byte> in, std::string& out,
                                    std::size_t limit) {
    BoundedString bounded(out, limit);
    return decode(in, bounded);
}

Result<std::unique_ptr<ContentDecoder>> ContentDecoder::forCoding(std::string_view coding) {
    coding = trimHeaderValue(coding);
    if (coding.empty() || equalsIgnoringCase(coding, "identity")) {
        std::unique_ptr<ContentDecoder> decoder(new (std::nothrow) IdentityDecoder());
        if (!decoder) {
            return std::unexpected(Error::OutOfMemory);
        }
        return decoder;
    }
    if (equalsIgnoringCase(coding, "deflate")) {
        return started<ZlibDecoder>(15);
    }
    if (equalsIgnoringCase(coding, "gzip") || equalsIgnoringCase(coding, "x-gzip")) {
        return started<ZlibDecoder>(15 + 16);
    }
    if (equalsIgnoringCase(coding, "zstd")) {
        return started<ZstdDecoder>();
    }
    return std::unexpected(Error::UnsupportedCompressionMethod);
}

} // namespace tarnvex
