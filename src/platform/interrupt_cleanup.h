#pragma once

#include "platform/unique_fd.h"

#include <array>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tarnvex {

/// On SIGINT, SIGTERM, SIGHUP and SIGQUIT (Ctrl-C, `kill`, a closed Terminal window, Ctrl-\)
/// removes every entry marked below, then ends the process by the same signal, as its default
/// action would.
void installInterruptCleanup();

/// What an interrupted run removes: a file (or link), or a directory once what it holds is gone.
enum class EntryKind : std::uint8_t { File, Directory };

/// Keeps an entry marked for removal by an interrupted run for as long as it lives: a hidden
/// temporary, or a staging folder and what was made in it, that must not outlive the run that
/// made it. The files go first, then the directories, the newest first.
class RemovalOnInterrupt {
public:
    RemovalOnInterrupt() = default;
    /// Marks `name` in the directory `directoryFd`; the descriptor must stay open while marked.
    /// `openFd`, where the run holds the file open, is emptied and closed before it is removed.
    /// Marks nothing when too many entries are marked at once or the name is too long: a later run
    /// clears such a leftover instead.
    RemovalOnInterrupt(int directoryFd, std::string_view name, EntryKind kind,
                       int openFd = -1) noexcept;
    RemovalOnInterrupt(RemovalOnInterrupt&& other) noexcept;
    RemovalOnInterrupt& operator=(RemovalOnInterrupt&& other) noexcept;
    RemovalOnInterrupt(const RemovalOnInterrupt&) = delete;
    RemovalOnInterrupt& operator=(const RemovalOnInterrupt&) = delete;
    ~RemovalOnInterrupt();

    /// Unmarks the entry, for when it is gone or has become the real one.
    void release() noexcept;

private:
    static constexpr std::size_t none = static_cast<std::size_t>(-1);
    std::size_t slot_ = none;
};

/// The marks of what a run makes inside a folder it builds out of sight, so that an interruption
/// removes those entries with the folder. `Directory` and `AtomicFile` add them as they make
/// directories and files there.
class RemovalOnInterruptGroup {
public:
    RemovalOnInterruptGroup() = default;
    RemovalOnInterruptGroup(const RemovalOnInterruptGroup&) = delete;
    RemovalOnInterruptGroup& operator=(const RemovalOnInterruptGroup&) = delete;

    /// Marks `name` in `directoryFd` just before it is made there; the group keeps the directory
    /// open for the mark. What cannot be marked is left to a later run.
    void mark(int directoryFd, std::string_view name, EntryKind kind) noexcept;

    /// Unmarks every entry, for when they have moved into place or are gone.
    void release() noexcept;

private:
    struct Marked {
        UniqueFd directory;
        RemovalOnInterrupt removal;
    };
    // More than one instance's worth of directories and files.
    static constexpr std::size_t capacity = 12;
    std::array<Marked, capacity> marked_;
    std::size_t count_ = 0;
};

/// Holds the interruptions back while it lives, so that an entry and its mark come and
/// go together; one that arrives meanwhile takes effect when it ends.
class InterruptionsDeferred {
public:
    InterruptionsDeferred() noexcept;
    InterruptionsDeferred(const InterruptionsDeferred&) = delete;
    InterruptionsDeferred& operator=(const InterruptionsDeferred&) = delete;
    ~InterruptionsDeferred();

private:
    sigset_t previous_{};
};

} // namespace tarnvex
