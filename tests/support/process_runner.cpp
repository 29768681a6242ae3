#include "support/process_runner.h"

#include "support/close_on_exec.h"

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tarnvex::test {

namespace {

void makePipe(int fds[2]) {
    if (pipeCloseOnExec(fds) != 0) {
        throw std::runtime_error("pipe failed");
    }
}

} // namespace

ChildProcess::ChildProcess(const std::string& program, const ProcessOptions& options)
    : standardInput_(options.standardInput) {
    // A child that stops reading must not kill the test with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);

    std::vector<std::string> argumentText{program};
    argumentText.insert(argumentText.end(), options.arguments.begin(), options.arguments.end());
    std::vector<std::string> environmentText;
    for (const auto& [name, value] : options.environment) {
        environmentText.push_back(name + "=" + value);
    }
#ifdef __APPLE__
    // Under AddressSanitizer macOS's nano allocator finds no room and says so on standard error
    // as each program starts, where the tests compare every byte.
    environmentText.emplace_back("MallocNanoZone=0");
#endif
    std::vector<char*> argv;
    for (auto& text : argumentText) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& text : environmentText) {
        envp.push_back(text.data());
    }
    envp.push_back(nullptr);

    int in[2];
    int out[2];
    int err[2];
    makePipe(in);
    makePipe(out);
    makePipe(err);
    if (options.standardOutputClosed) {
        ::close(out[0]);
        out[0] = -1;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        // A child the test kills leaves no core file behind.
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        if (options.fileSizeLimit) {
            struct sigaction crossing = {};
            crossing.sa_handler = options.fileSizeLimitKills ? SIG_DFL : SIG_IGN;
            ::sigaction(SIGXFSZ, &crossing, nullptr);
            const rlimit limit{static_cast<rlim_t>(*options.fileSizeLimit),
                               static_cast<rlim_t>(*options.fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        // A test run as a background job inherits ignored interruptions; the child must see
        // them as a player's Terminal delivers them.
        struct sigaction defaultAction = {};
        defaultAction.sa_handler = SIG_DFL;
        sigset_t unblocked;
        sigemptyset(&unblocked);
        for (const int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
            ::sigaction(signal, &defaultAction, nullptr);
            sigaddset(&unblocked, signal);
        }
        ::sigprocmask(SIG_UNBLOCK, &unblocked, nullptr);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    pid_ = pid;
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    stdinFd_ = in[1];
    stdoutFd_ = out[0];
    stderrFd_ = err[0];
}

ChildProcess::~ChildProcess() {
    if (!waited_) {
        kill(SIGKILL);
        (void)wait();
    }
}

void ChildProcess::kill(int signal) {
    const std::lock_guard guard(pidLock_);
    if (pid_ > 0) {
        ::kill(pid_, signal);
    }
}

ProcessResult ChildProcess::wait() {
    ProcessResult result;
    std::size_t inputWritten = 0;
    if (standardInput_.empty() && stdinFd_ >= 0) {
        ::close(stdinFd_);
        stdinFd_ = -1;
    }
    while (stdoutFd_ >= 0 || stderrFd_ >= 0) {
        pollfd fds[3];
        nfds_t count = 0;
        for (const int fd : {stdoutFd_, stderrFd_}) {
            if (fd >= 0) {
                fds[count++] = {fd, POLLIN, 0};
            }
        }
        if (stdinFd_ >= 0) {
            fds[count++] = {stdinFd_, POLLOUT, 0};
        }
        if (::poll(fds, count, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        for (nfds_t i = 0; i < count; ++i) {
            if (fds[i].revents == 0) {
                continue;
            }
            if (fds[i].fd == stdinFd_) {
                const ssize_t written = ::write(stdinFd_, standardInput_.data() + inputWritten,
                                                standardInput_.size() - inputWritten);
                if (written > 0) {
                    inputWritten += static_cast<std::size_t>(written);
                }
                if (written < 0 || inputWritten == standardInput_.size()) {
                    ::close(stdinFd_);
                    stdinFd_ = -1;
                }
                continue;
            }
            char buffer[65536];
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            int& fd = fds[i].fd == stdoutFd_ ? stdoutFd_ : stderrFd_;
            std::string& sink = &fd == &stdoutFd_ ? result.standardOutput : result.standardError;
            if (got > 0) {
                sink.append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                ::close(fd);
                fd = -1;
            }
        }
    }
    if (stdinFd_ >= 0) {
        ::close(stdinFd_);
        stdinFd_ = -1;
    }
    // The ended child stays a zombie until reaped, so its id cannot go to another process while
    // kill() may still use it.
    siginfo_t ended{};
    while (::waitid(P_PID, static_cast<id_t>(pid_), &ended, WEXITED | WNOWAIT) < 0 &&
           errno == EINTR) {
    }
    int status = 0;
    {
        const std::lock_guard guard(pidLock_);
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }
    waited_ = true;
    if (WIFEXITED(status)) {
        result.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

ProcessResult runProcess(const std::string& program, const ProcessOptions& options) {
    ChildProcess child(program, options);
    return child.wait();
}

} // namespace tarnvex::test
