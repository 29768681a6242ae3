#pragma once

#include <cstddef>
#include <string_view>

namespace tarnvex {

/// On SIGINT, SIGTERM and SIGHUP (Ctrl-C, `kill`, a closed Terminal window) removes every file
/// registered below, then ends the process by the same signal, as its default action would.
void installInterruptCleanup();

/// Keeps a file marked for removal by an interrupted run for as long as it lives: a hidden
/// temporary that must not outlive the run that was writing it.
class RemovalOnInterrupt {
public:
    RemovalOnInterrupt() = default;
    /// Marks `name` in the directory `directoryFd`; the descriptor must stay open while marked.
    /// Marks nothing when too many files are marked at once or the name is too long: a later
    /// run clears such a leftover instead.
    RemovalOnInterrupt(int directoryFd, std::string_view name) noexcept;
    RemovalOnInterrupt(RemovalOnInterrupt&& other) noexcept;
    RemovalOnInterrupt& operator=(RemovalOnInterrupt&& other) noexcept;
    RemovalOnInterrupt(const RemovalOnInterrupt&) = delete;
    RemovalOnInterrupt& operator=(const RemovalOnInterrupt&) = delete;
    ~RemovalOnInterrupt();

    /// Unmarks the file, for when it is gone or has become the real one.
    void release() noexcept;

private:
    static constexpr std::size_t none = static_cast<std::size_t>(-1);
    std::size_t slot_ = none;
};

} // namespace tarnvex
