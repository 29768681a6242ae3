#include "platform/fd_stream.h"

#include <cerrno>
#include <unistd.h>

namespace tarnvex {

Result<std::size_t> FdSink::writeSome(std::span<const std::byte> bytes) {
    for (;;) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written >= 0) {
            return static_cast<std::size_t>(written);
        }
        if (errno != EINTR) {
            return std::unexpected(failure_);
        }
    }
}

Result<std::size_t> FdSource::readSome(std::span<std::byte> buffer) {
    for (;;) {
        const ssize_t count = ::read(fd_, buffer.data(), buffer.size());
        if (count >= 0) {
            return static_cast<std::size_t>(count);
        }
        if (errno != EINTR) {
            return std::unexpected(failure_);
        }
    }
}

int writeAllToFd(int fd, std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return 0;
}

} // namespace tarnvex
