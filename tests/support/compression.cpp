#include "support/compression.h"

#include <stdexcept>
#include <zlib.h>
#include <zstd.h>

namespace tarnvex::test {

namespace {

// windowBits 15 makes the zlib wrapper, 15 + 16 the gzip one.
std::string zlibCompressed(std::string_view text, int windowBits) {
    z_stream stream{};
    if (deflateInit2(&stream, 9, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2");
    }
    std::string out(deflateBound(&stream, static_cast<uLong>(text.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END) {
        throw std::runtime_error("deflate");
    }
    return out;
}

std::string zstdCompressed(std::string_view text) {
    ZSTD_CCtx* context = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 1);
    std::string out(ZSTD_compressBound(text.size()), '\0');
    const std::size_t size =
        ZSTD_compress2(context, out.data(), out.size(), text.data(), text.size());
    ZSTD_freeCCtx(context);
    if (ZSTD_isError(size)) {
        throw std::runtime_error("ZSTD_compress2");
    }
    out.resize(size);
    return out;
}

} // namespace

std::string compressed(std::string_view coding, std::string_view text) {
    if (coding == "identity") {
        return std::string(text);
    }
    if (coding == "gzip") {
        return zlibCompressed(text, 15 + 16);
    }
    if (coding == "deflate") {
        return zlibCompressed(text, 15);
    }
    if (coding == "zstd") {
        return zstdCompressed(text);
    }
    throw std::invalid_argument("no such coding");
}

} // namespace tarnvex::test
