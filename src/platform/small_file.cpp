#include "platform/small_file.h"

#include "platform/errno_error.h"
#include "platform/retry_interrupted.h"
#include "platform/unique_fd.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnvex {

Result<std::string> readAtMost(int fd, std::size_t limit) {
    // One byte past the limit tells a file that grew meanwhile from one that fits.
    std::string content(limit + 1, '\0');
    std::size_t size = 0;
    while (size < content.size()) {
        const ssize_t count = retryInterrupted(
            [&] { return ::read(fd, content.data() + size, content.size() - size); });
        if (count < 0) {
            return std::unexpected(errorFromErrno(errno));
        }
        if (count == 0) {
            break;
        }
        size += static_cast<std::size_t>(count);
    }
    if (size > limit) {
        return std::unexpected(Error::FileTooBig);
    }
    content.resize(size);
    return content;
}

Result<std::string> readSmallFile(const Directory& directory, const std::string& name,
                                  std::size_t limit) {
    // Not blocking: opening a pipe would otherwise wait for a writer.
    const UniqueFd fd(retryInterrupted([&] {
        return ::openat(directory.fd(), name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    }));
    if (!fd) {
        return std::unexpected(errorFromErrno(errno));
    }
    struct stat status = {};
    if (::fstat(fd.get(), &status) != 0) {
        return std::unexpected(errorFromErrno(errno));
    }
    if (!S_ISREG(status.st_mode)) {
        return std::unexpected(Error::InvalidFormat);
    }
    if (static_cast<std::uintmax_t>(status.st_size) > limit) {
        return std::unexpected(Error::FileTooBig);
    }
    return readAtMost(fd.get(), limit);
}

} // namespace tarnvex
