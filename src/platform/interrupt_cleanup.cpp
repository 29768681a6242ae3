#include "platform/interrupt_cleanup.h"

#include <array>
#include <atomic>
#include <csignal>
#include <unistd.h>
#include <utility>

namespace tarnvex {

namespace {

// Files are replaced one after the other; a few slots leave room for a test's or a caller's
// overlap.
constexpr std::size_t slotCount = 4;
// Room for the hidden temporary of any file name the installer writes.
constexpr std::size_t nameCapacity = 256;

// Written by the main thread, read by the handler: the handler trusts a slot's fields only while
// `marked` is set, and the fences keep the compiler from moving the field writes past it.
struct Slot {
    volatile std::sig_atomic_t marked = 0;
    int directoryFd = -1;
    std::array<char, nameCapacity> name{};
};

std::array<Slot, slotCount> slots;

constexpr std::array interruptions{SIGINT, SIGTERM, SIGHUP};

// Only async-signal-safe calls in here.
void removeMarkedFilesAndEnd(int signal) {
    for (const Slot& slot : slots) {
        if (slot.marked != 0) {
            (void)::unlinkat(slot.directoryFd, slot.name.data(), 0);
        }
    }
    // The handler was reset on entry and the signal is blocked until it returns: raised again,
    // it then ends the process, so the shell still sees an interrupted run.
    (void)::raise(signal);
}

} // namespace

void installInterruptCleanup() {
    struct sigaction action = {};
    action.sa_handler = removeMarkedFilesAndEnd;
    sigemptyset(&action.sa_mask);
    // One handler at a time: a second interruption waits until the first has cleaned up.
    for (const int signal : interruptions) {
        sigaddset(&action.sa_mask, signal);
    }
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

RemovalOnInterrupt::RemovalOnInterrupt(int directoryFd, std::string_view name) noexcept {
    if (name.empty() || name.size() >= nameCapacity) {
        return;
    }
    for (std::size_t i = 0; i < slots.size(); ++i) {
        Slot& slot = slots[i];
        if (slot.marked != 0) {
            continue;
        }
        slot.directoryFd = directoryFd;
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

} // namespace tarnvex
