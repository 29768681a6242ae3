#include "platform/interrupt_cleanup.h"

#include <array>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>
#include <utility>

namespace tarnvex {

namespace {

// A staging folder's entries and the temporaries in flight, with room for a test's overlap.
constexpr std::size_t slotCount = 20;
// Room for the hidden temporary of any file name the installer writes.
constexpr std::size_t nameCapacity = 256;

// Written by the main thread, read by the handler: the handler trusts a slot's fields only while
// `marked` is set, and the fences keep the compiler from moving the field writes past it.
struct Slot {
    volatile std::sig_atomic_t marked = 0;
    int directoryFd = -1;
    int openFd = -1;
    EntryKind kind = EntryKind::File;
    // Directories are removed in the reverse of the order they were marked, children first.
    unsigned long order = 0;
    std::array<char, nameCapacity> name{};
};

std::array<Slot, slotCount> slots;
unsigned long marksMade = 0;

constexpr std::array interruptions{SIGINT, SIGTERM, SIGHUP, SIGQUIT};

sigset_t interruptionSet() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : interruptions) {
        sigaddset(&set, signal);
    }
    return set;
}

// Only async-signal-safe calls in here.
void removeMarkedEntriesAndEnd(int signal) {
    for (const Slot& slot : slots) {
        if (slot.marked != 0 && slot.kind == EntryKind::File) {
            // A volume that keeps an open file's data under a hidden name once it is unlinked
            // (NFS, FUSE) would keep its folder from going too. Emptied first, so that the close
            // does not send a network volume what was written.
            if (slot.openFd >= 0) {
                (void)::ftruncate(slot.openFd, 0);
                (void)::close(slot.openFd);
            }
            (void)::unlinkat(slot.directoryFd, slot.name.data(), 0);
        }
    }
    for (;;) {
        Slot* newest = nullptr;
        for (Slot& slot : slots) {
            if (slot.marked != 0 && slot.kind == EntryKind::Directory &&
                (newest == nullptr || slot.order > newest->order)) {
                newest = &slot;
            }
        }
        if (newest == nullptr) {
            break;
        }
        (void)::unlinkat(newest->directoryFd, newest->name.data(), AT_REMOVEDIR);
        newest->marked = 0;
    }
    // The handler was reset on entry and the signal is blocked until it returns: raised again,
    // it then ends the process, so the shell still sees an interrupted run.
    (void)::raise(signal);
}

} // namespace

void installInterruptCleanup() {
    struct sigaction action = {};
    action.sa_handler = removeMarkedEntriesAndEnd;
    // One handler at a time: a second interruption waits until the first has cleaned up.
    action.sa_mask = interruptionSet();
    action.sa_flags = SA_RESETHAND;
    for (const int signal : interruptions) {
        // A run started with `nohup` (or as a background job) keeps ignoring what it ignored.
        struct sigaction inherited = {};
        if (::sigaction(signal, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN) {
            continue;
        }
        ::sigaction(signal, &action, nullptr);
    }
}

RemovalOnInterrupt::RemovalOnInterrupt(int directoryFd, std::string_view name, EntryKind kind,
                                       int openFd) noexcept {
    if (name.empty() || name.size() >= nameCapacity) {
        return;
    }
    for (std::size_t i = 0; i < slots.size(); ++i) {
        Slot& slot = slots[i];
        if (slot.marked != 0) {
            continue;
        }
        slot.directoryFd = directoryFd;
        slot.openFd = openFd;
        slot.kind = kind;
        slot.order = ++marksMade;
        name.copy(slot.name.data(), name.size());
        slot.name[name.size()] = '\0';
        std::atomic_signal_fence(std::memory_order_seq_cst);
        slot.marked = 1;
        slot_ = i;
        return;
    }
}

RemovalOnInterrupt::RemovalOnInterrupt(RemovalOnInterrupt&& other) noexcept
    : slot_(std::exchange(other.slot_, none)) {}

RemovalOnInterrupt& RemovalOnInterrupt::operator=(RemovalOnInterrupt&& other) noexcept {
    if (this != &other) {
        release();
        slot_ = std::exchange(other.slot_, none);
    }
    return *this;
}

RemovalOnInterrupt::~RemovalOnInterrupt() {
    release();
}

void RemovalOnInterrupt::release() noexcept {
    if (slot_ == none) {
        return;
    }
    slots[slot_].marked = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    slot_ = none;
}

void RemovalOnInterruptGroup::mark(int directoryFd, std::string_view name,
                                   EntryKind kind) noexcept {
    if (count_ == marked_.size()) {
        return;
    }
    UniqueFd directory(::fcntl(directoryFd, F_DUPFD_CLOEXEC, 0));
    if (!directory) {
        return;
    }
    Marked& marked = marked_[count_++];
    marked.removal = RemovalOnInterrupt(directory.get(), name, kind);
    marked.directory = std::move(directory);
}

void RemovalOnInterruptGroup::release() noexcept {
    for (std::size_t i = 0; i < count_; ++i) {
        marked_[i].removal.release();
        marked_[i].directory.reset();
    }
    count_ = 0;
}

InterruptionsDeferred::InterruptionsDeferred() noexcept {
    const sigset_t set = interruptionSet();
    (void)::pthread_sigmask(SIG_BLOCK, &set, &previous_);
}

InterruptionsDeferred::~InterruptionsDeferred() {
    (void)::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

} // namespace tarnvex
