#include "io/buffered_writer.h"

#include <algorithm>
#include <cstring>

namespace tarnvex {

BufferedWriter::BufferedWriter(ByteSink& sink, std::size_t capacity)
    : BufferedWriter(sink, capacity, capacity) {}

BufferedWriter::BufferedWriter(ByteSink& sink, std::size_t capacity, std::size_t largest)
    : sink_(sink), buffer_(capacity), largest_(std::max(capacity, largest)) {
    // All of it at once, so that growing later cannot fail.
    buffer_.reserve(largest_);
}

Result<void> BufferedWriter::write(std::string_view text) {
    return write(std::as_bytes(std::span(text.data(), text.size())));
}

Result<void> BufferedWriter::write(std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
        if (used_ == 0 && bytes.size() >= buffer_.size()) {
            // Large writes skip the buffer: copying them first would only cost time.
            return writeAll(bytes);
        }
        const std::size_t taken = std::min(bytes.size(), buffer_.size() - used_);
        std::memcpy(buffer_.data() + used_, bytes.data(), taken);
        used_ += taken;
        bytes = bytes.subspan(taken);
        if (used_ == buffer_.size()) {
            if (auto flushed = flush(); !flushed) {
                return flushed;
            }
            buffer_.resize(std::min(largest_, buffer_.size() * 2));
        }
    }
    return {};
}

Result<void> BufferedWriter::flush() {
    const std::size_t pending = used_;
    // The buffer is emptied even when the sink fails, so a failed flush is not retried with stale
    // bytes in front of new ones.
    used_ = 0;
    return writeAll(std::span(buffer_.data(), pending));
}

Result<void> BufferedWriter::writeAll(std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
        auto written = sink_.writeSome(bytes);
        if (!written) {
            return std::unexpected(written.error());
        }
        bytes = bytes.subspan(*written);
    }
    return {};
}

} // namespace tarnvex
