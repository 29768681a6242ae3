#pragma once

#include <string>
#include <string_view>

namespace tarnvex::test {

/// `text` in the HTTP content coding `coding`: "identity", "gzip", "deflate" (the zlib wrapper) or
/// "zstd" (with a checksum, so that a corrupt byte cannot pass unnoticed).
std::string compressed(std::string_view coding, std::string_view text);

} // namespace tarnvex::test
