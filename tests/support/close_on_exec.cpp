#include "support/close_on_exec.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarnvex::test {

namespace {

// Elsewhere (macOS has neither pipe2 nor accept4) the flag follows the descriptor's creation: a
// child forked in between keeps a copy, which the tests' children, started before they connect,
// never meet.
[[maybe_unused]] int setCloseOnExec(int fd) {
    if (fd >= 0 && ::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

int pipeCloseOnExec(int fds[2]) {
#if defined(__linux__) && defined(_GNU_SOURCE)
    return ::pipe2(fds, O_CLOEXEC);
#else
    int made[2];
    if (::pipe(made) != 0) {
        return -1;
    }
    fds[0] = setCloseOnExec(made[0]);
    fds[1] = setCloseOnExec(made[1]);
    if (fds[0] >= 0 && fds[1] >= 0) {
        return 0;
    }
    if (fds[0] >= 0) {
        ::close(fds[0]);
    }
    if (fds[1] >= 0) {
        ::close(fds[1]);
    }
    return -1;
#endif
}

int socketCloseOnExec(int domain, int type, int protocol) {
#if defined(__linux__) && defined(_GNU_SOURCE)
    return ::socket(domain, type | SOCK_CLOEXEC, protocol);
#else
    return setCloseOnExec(::socket(domain, type, protocol));
#endif
}

int acceptCloseOnExec(int listener) {
#if defined(__linux__) && defined(_GNU_SOURCE)
    return ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
#else
    return setCloseOnExec(::accept(listener, nullptr, nullptr));
#endif
}

} // namespace tarnvex::test
