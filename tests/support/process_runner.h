#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarnvex::test {

struct ProcessOptions {
    std::vector<std::string> arguments;
    /// The child's whole environment: nothing of the test's own is passed on.
    std::vector<std::pair<std::string, std::string>> environment;
    std::string standardInput;
    /// Limit on the size of files the child writes (with SIGXFSZ ignored, so writes fail).
    std::optional<long> fileSizeLimit;
    /// Leaves SIGXFSZ at its default, so the kernel kills the child at the write that crosses the
    /// limit.
    bool fileSizeLimitKills = false;
    /// Close the read end of the child's stdout before it starts, so its writes hit EPIPE.
    bool standardOutputClosed = false;
};

struct ProcessResult {
    /// The exit status, or -1 when a signal ended the child.
    int exitStatus = -1;
    int signal = 0;
    std::string standardOutput;
    std::string standardError;
};

/// A child process whose standard streams the test feeds and collects.
class ChildProcess {
public:
    ChildProcess(const std::string& program, const ProcessOptions& options);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    /// Safe to call from another thread while `wait` runs.
    void kill(int signal);
    /// Feeds stdin, collects stdout and stderr until the child ends.
    ProcessResult wait();

private:
    std::mutex pidLock_;
    int pid_ = -1;
    int stdinFd_ = -1;
    int stdoutFd_ = -1;
    int stderrFd_ = -1;
    std::string standardInput_;
    bool waited_ = false;
};

ProcessResult runProcess(const std::string& program, const ProcessOptions& options);

} // namespace tarnvex::test
