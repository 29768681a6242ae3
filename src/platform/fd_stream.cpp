#include "platform/fd_stream.h"

#include "platform/retry_interrupted.h"

#include <cerrno>
#include <unistd.h>

namespace tarnvex {

Result<std::size_t> FdSink::writeSome(std::span<const std::byte> bytes) {
    const ssize_t written =
        retryInterrupted([&] { return ::write(fd_, bytes.data(), bytes.size()); });
    if (written < 0) {
        return std::unexpected(failure_);
    }
    return static_cast<std::size_t>(written);
}

Result<std::size_t> FdSource::readSome(std::span<std::byte> buffer) {
    const ssize_t count =
        retryInterrupted([&] { return ::read(fd_, buffer.data(), buffer.size()); });
    if (count < 0) {
        return std::unexpected(failure_);
    }
    return static_cast<std::size_t>(count);
}

int writeAllToFd(int fd, std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
        const ssize_t written =
            retryInterrupted([&] { return ::write(fd, bytes.data(), bytes.size()); });
        if (written < 0) {
            return errno;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return 0;
}

} // namespace tarnvex
