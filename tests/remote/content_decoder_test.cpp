#include "remote/content_decoder.h"

#include "support/compression.h"
#include "support/fails_with.h"

#include <gtest/gtest.h>
#include <zstd.h>

namespace tarnvex {
namespace {

using test::compressed;
using test::FailsWith;

std::span<const std::byte> bytesOf(std::string_view text) {
    return std::as_bytes(std::span(text.data(), text.size()));
}

/// Feeds `body` in pieces of `pieceSize`, then an empty one, and finishes; the first error.
Result<std::string> decodeAll(std::string_view coding, std::string_view body,
                              std::size_t pieceSize = 4096, std::size_t limit = 1 << 24) {
    auto decoder = ContentDecoder::forCoding(coding);
    if (!decoder) {
        return std::unexpected(decoder.error());
    }
    std::string out;
    for (std::size_t at = 0; at < body.size(); at += pieceSize) {
        if (auto decoded = (*decoder)->decode(bytesOf(body.substr(at, pieceSize)), out, limit);
            !decoded) {
            return std::unexpected(decoded.error());
        }
    }
    // A piece may be empty.
    if (auto decoded = (*decoder)->decode({}, out, limit); !decoded) {
        return std::unexpected(decoded.error());
    }
    if (auto finished = (*decoder)->finish(); !finished) {
        return std::unexpected(finished.error());
    }
    return out;
}

std::string sampleCatalogue() {
    std::string text = "[";
    for (int i = 0; i < 2000; ++i) {
        text += R"({"server": "Server )" + std::to_string(i) +
                R"(", "version": "1.21.1", "loader": "fabric"},)";
    }
    return text + "]";
}

TEST(ContentDecoder, UndoesEachCodingWhateverThePiecesAndLength) {
    struct Case {
        std::string_view header;
        std::string body;
    };
    // On and around the 16 KiB piece of output, which a stream may end just as it fills.
    for (const std::size_t length : {16383, 16384, 16385, 32768, 65536, 1 << 20}) {
        const std::string text = sampleCatalogue().substr(0, length);
        const Case cases[] = {
            {"", text},
            {" Identity\t", text},
            {"gzip", compressed("gzip", text)},
            {"X-GZIP", compressed("gzip", text)},
            {"deflate", compressed("deflate", text)},
            {" zstd ", compressed("zstd", text)},
        };
        for (const Case& c : cases) {
            for (const std::size_t pieceSize : {std::size_t{1}, std::size_t{1000}, c.body.size()}) {
                SCOPED_TRACE(std::string(c.header) + " of " + std::to_string(text.size()) +
                             " bytes in pieces of " + std::to_string(pieceSize));
                EXPECT_EQ(decodeAll(c.header, c.body, pieceSize), text);
            }
        }
    }
}

TEST(ContentDecoder, RefusesCompressAndUnknownCodings) {
    for (std::string_view coding : {"compress", "x-compress", "br", "gzip, zstd", "gzip2"}) {
        EXPECT_THAT(ContentDecoder::forCoding(coding),
                    FailsWith(Error::UnsupportedCompressionMethod))
            << coding;
    }
}

TEST(ContentDecoder, RefusesCorruptTruncatedOrOverlongStreams) {
    const std::string text = sampleCatalogue();
    for (std::string_view coding : {"gzip", "deflate", "zstd"}) {
        const std::string whole = compressed(coding, text);
        std::string flipped = whole;
        flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 0x55);
        std::string wrongCheck = whole;
        wrongCheck[wrongCheck.size() - (coding == "gzip" ? 8 : 1)] ^= 0x01;
        for (const std::string& body :
             {std::string(), std::string("not compressed at all"), flipped,
              whole.substr(0, whole.size() / 2), whole.substr(0, whole.size() - 1),
              whole + "trailing", wrongCheck}) {
            EXPECT_THAT(decodeAll(coding, body), FailsWith(Error::DecompressionFailed))
                << coding << " of " << body.size() << " bytes";
        }
    }
}

TEST(ContentDecoder, StopsABombAtTheLimit) {
    const std::size_t limit = 1 << 20;
    const std::string zeros(8 * limit, '\0');
    for (std::string_view coding : {"", "gzip", "deflate", "zstd"}) {
        const std::string body = coding.empty() ? zeros : compressed(coding, zeros);
        auto decoder = ContentDecoder::forCoding(coding);
        ASSERT_TRUE(decoder.has_value());
        std::string out;
        EXPECT_THAT((*decoder)->decode(bytesOf(body), out, limit),
                    FailsWith(Error::CatalogueTooLarge))
            << coding;
        EXPECT_LE(out.size(), limit + 1) << coding;
    }
}

TEST(ContentDecoder, AcceptsABodyOfExactlyTheLimit) {
    const std::string text = sampleCatalogue();
    for (std::string_view coding : {"", "gzip", "zstd"}) {
        const std::string body = coding.empty() ? text : compressed(coding, text);
        EXPECT_EQ(decodeAll(coding, body, 512, text.size()), text) << coding;
        EXPECT_THAT(decodeAll(coding, body, 512, text.size() - 1),
                    FailsWith(Error::CatalogueTooLarge))
            << coding;
    }
}

TEST(ContentDecoder, RefusesAZstdWindowBeyondEightMebibytes) {
    // Streamed without a known size, the frame announces the whole 16 MiB window it may use.
    ZSTD_CCtx* context = ZSTD_createCCtx();
    ASSERT_NE(context, nullptr);
    ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog, 24);
    const std::string text = sampleCatalogue();
    std::string frame(ZSTD_compressBound(text.size()) + 64, '\0');
    ZSTD_inBuffer input{text.data(), text.size(), 0};
    ZSTD_outBuffer output{frame.data(), frame.size(), 0};
    ZSTD_compressStream2(context, &output, &input, ZSTD_e_continue);
    const std::size_t left = ZSTD_compressStream2(context, &output, &input, ZSTD_e_end);
    ZSTD_freeCCtx(context);
    ASSERT_EQ(left, 0u);
    frame.resize(output.pos);
    EXPECT_THAT(decodeAll("zstd", frame), FailsWith(Error::DecompressionFailed));
}

} // namespace
} // namespace tarnvex
