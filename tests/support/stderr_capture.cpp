#include "support/stderr_capture.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

namespace tarnvex::test {

StderrCapture::StderrCapture() {
    char path[] = "/tmp/tarnvex-stderr-XXXXXX";
    captureFd_ = ::mkstemp(path);
    if (captureFd_ < 0) {
        throw std::runtime_error("mkstemp failed");
    }
    ::unlink(path);
    savedFd_ = ::dup(STDERR_FILENO);
    ::dup2(captureFd_, STDERR_FILENO);
}

StderrCapture::~StderrCapture() {
    ::dup2(savedFd_, STDERR_FILENO);
    ::close(savedFd_);
    ::close(captureFd_);
}

std::string StderrCapture::text() const {
    std::string content;
    char buffer[4096];
    off_t offset = 0;
    for (;;) {
        const ssize_t count = ::pread(captureFd_, buffer, sizeof buffer, offset);
        if (count <= 0) {
            break;
        }
        content.append(buffer, static_cast<std::size_t>(count));
        offset += count;
    }
    return content;
}

} // namespace tarnvex::test
