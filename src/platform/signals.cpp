#include "platform/signals.h"

#include <array>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <unistd.h>

namespace tarnvex {

namespace {

// Only async-signal-safe work in here: fixed buffers and write(2).
void reportCrash(int signal, siginfo_t* info, void* /*context*/) {
    const char* kind = "Fatal signal";
    switch (signal) {
    case SIGSEGV:
        kind = "Segmentation fault";
        break;
    case SIGILL:
        kind = "Illegal instruction";
        break;
    case SIGBUS:
        kind = "Bus error";
        break;
    case SIGFPE:
        kind = "Arithmetic exception";
        break;
    default:
        break;
    }
    std::array<char, 96> line{};
    std::size_t used = 0;
    const auto append = [&](const char* text) {
        for (; *text != '\0' && used < line.size(); ++text) {
            line[used++] = *text;
        }
    };
    append(kind);
    append(" at address 0x");
    auto address = reinterpret_cast<std::uintptr_t>(info != nullptr ? info->si_addr : nullptr);
    std::array<char, 2 * sizeof(std::uintptr_t)> digits{};
    std::size_t count = 0;
    do {
        digits[count++] = "0123456789abcdef"[address & 0xF];
        address >>= 4;
    } while (address != 0 && count < digits.size());
    while (count > 0 && used < line.size()) {
        line[used++] = digits[--count];
    }
    append("\n");
    (void)!::write(STDERR_FILENO, line.data(), used);
    // The handler was reset on entry: a fault raised by an instruction recurs on return, and a
    // signal sent from outside is sent again here, so either way the default action follows.
    (void)::raise(signal);
}

void ignoreSignal(int /*signal*/) {}

// A fault caused by running out of stack needs a stack of its own to be reported on.
alignas(16) std::array<char, std::size_t{64} * 1024> alternateStack;

} // namespace

void installCrashReporter() {
    stack_t stack{};
    stack.ss_sp = alternateStack.data();
    stack.ss_size = alternateStack.size();
    ::sigaltstack(&stack, nullptr);

    struct sigaction action = {};
    action.sa_sigaction = reportCrash;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_SIGINFO | SA_RESETHAND | SA_ONSTACK;
    for (const int signal : {SIGSEGV, SIGILL, SIGBUS, SIGFPE}) {
        ::sigaction(signal, &action, nullptr);
    }
}

void installBrokenPipeHandler() {
    struct sigaction action = {};
    action.sa_handler = ignoreSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    ::sigaction(SIGPIPE, &action, nullptr);
}

} // namespace tarnvex
