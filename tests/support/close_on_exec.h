#pragma once

namespace tarnvex::test {

/// pipe(), both ends close-on-exec, so a child started meanwhile does not keep them open.
/// Returns 0 or -1 with errno set, as pipe() does.
int pipeCloseOnExec(int fds[2]);

/// socket(), close-on-exec.
int socketCloseOnExec(int domain, int type, int protocol);

/// accept() of a connection whose descriptor is close-on-exec.
int acceptCloseOnExec(int listener);

} // namespace tarnvex::test
