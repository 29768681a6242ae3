#include "io/buffered_reader.h"

#include <algorithm>

namespace tarnvex {

BufferedReader::BufferedReader(ByteSource& source, std::size_t capacity)
    : source_(source), buffer_(capacity) {}

Result<bool> BufferedReader::readUntilLineFeed(std::string& line) {
    for (;;) {
        const auto first = buffer_.begin() + static_cast<std::ptrdiff_t>(start_);
        const auto last = buffer_.begin() + static_cast<std::ptrdiff_t>(end_);
        const auto lineFeed = std::find(first, last, std::byte{'\n'});
        line.append(reinterpret_cast<const char*>(buffer_.data() + start_),
                    static_cast<std::size_t>(lineFeed - first));
        if (lineFeed != last) {
            start_ = static_cast<std::size_t>(lineFeed - buffer_.begin()) + 1;
            return true;
        }
        start_ = end_ = 0;
        auto count = source_.readSome(buffer_);
        if (!count) {
            return std::unexpected(count.error());
        }
        if (*count == 0) {
            return false;
        }
        end_ = *count;
    }
}

} // namespace tarnvex
