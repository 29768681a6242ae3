// Any body, in any coding, cut into any pieces, decodes or fails with a name, and never past the
// size cap; the identity coding hands the body through unchanged.

#include "remote/content_decoder.h"

#include <array>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    constexpr std::array<std::string_view, 4> codings{"identity", "gzip", "deflate", "zstd"};
    const std::string_view coding = codings[data[0] % codings.size()];
    const std::size_t pieceSize = 1 + data[1] % 64;
    constexpr std::size_t limit = 1 << 20;
    const auto body = std::as_bytes(std::span(data + 2, size - 2));

    auto decoder = tarnvex::ContentDecoder::forCoding(coding);
    if (!decoder) {
        std::abort();
    }
    std::string out;
    bool failed = false;
    for (std::size_t offset = 0; offset < body.size() && !failed; offset += pieceSize) {
        const auto piece = body.subspan(offset, std::min(pieceSize, body.size() - offset));
        const auto decoded = (*decoder)->decode(piece, out, limit);
        failed = !decoded;
        if (failed && decoded.error() != tarnvex::Error::DecompressionFailed &&
            decoded.error() != tarnvex::Error::CatalogueTooLarge) {
            std::abort();
        }
    }
    if (!failed) {
        (void)(*decoder)->finish();
    }
    if (out.size() > limit) {
        std::abort();
    }
    if (coding == "identity" && !failed &&
        out != std::string_view(reinterpret_cast<const char*>(body.data()), body.size())) {
        std::abort();
    }
    return 0;
}
