#include "console/log.h"

#include "platform/fd_stream.h"

#include <initializer_list>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <unistd.h>

namespace tarnvex {

namespace {

std::recursive_mutex& standardErrorLock() {
    static std::recursive_mutex lock;
    return lock;
}

void logLine(std::string_view prefix, std::string_view message) {
    try {
        std::string line;
        line.reserve(prefix.size() + message.size() + 1);
        line.append(prefix).append(message).push_back('\n');
        const std::lock_guard guard(standardErrorLock());
        (void)writeAllToFd(STDERR_FILENO, std::as_bytes(std::span(line.data(), line.size())));
    } catch (...) {
        // Without memory for the line, its parts go out one by one.
        for (const std::string_view part : {prefix, message, std::string_view("\n")}) {
            (void)writeAllToFd(STDERR_FILENO, std::as_bytes(std::span(part.data(), part.size())));
        }
    }
}

} // namespace

void logInfo(std::string_view message) {
    logLine("info: ", message);
}
void logWarning(std::string_view message) {
    logLine("warning: ", message);
}
void logError(std::string_view message) {
    logLine("error: ", message);
}

} // namespace tarnvex
