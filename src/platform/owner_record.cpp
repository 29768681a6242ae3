#include "platform/owner_record.h"

#include "platform/disk_sync.h"
#include "platform/errno_error.h"
#include "platform/fd_stream.h"
#include "platform/retry_interrupted.h"
#include "platform/small_file.h"
#include "platform/unique_fd.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstddef>
#include <fcntl.h>
#include <optional>
#include <span>
#include <string>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

#ifdef __APPLE__
#include <cstring>
#include <ctime>
#include <sys/sysctl.h>
#endif

namespace tarnvex {

namespace {

constexpr std::size_t recordLimit = 1024;
constexpr std::string_view unknown = "unknown";

#ifdef __linux__
// The first line of a small file the kernel or the system keeps, if it has one.
std::optional<std::string> firstLineOf(const char* path) {
    const UniqueFd fd(retryInterrupted([&] { return ::open(path, O_RDONLY | O_CLOEXEC); }));
    if (!fd) {
        return std::nullopt;
    }
    auto text = readAtMost(fd.get(), 256);
    if (!text) {
        return std::nullopt;
    }
    text->resize(std::min(text->find('\n'), text->size()));
    if (text->empty()) {
        return std::nullopt;
    }
    return *text;
}

// The machine's id, and the process id space within it: a container shares the machine's boot
// but numbers its processes apart. Containers often have no machine id at all; their records
// then say so, and only the boot, which the kernel draws at random, can tell that it is this one.
std::optional<std::string> machineName() {
    const auto machine = firstLineOf("/etc/machine-id");
    std::array<char, 64> space{};
    const ssize_t length = ::readlink("/proc/self/ns/pid", space.data(), space.size());
    if (length <= 0 || static_cast<std::size_t>(length) == space.size()) {
        return std::nullopt;
    }
    return machine.value_or(std::string(unknown)) + "/" +
           std::string(space.data(), static_cast<std::size_t>(length));
}

std::optional<std::string> bootName() {
    return firstLineOf("/proc/sys/kernel/random/boot_id");
}

// The process's start time in clock ticks since the boot: the 22nd field of its stat line, which
// follows the command name in parentheses.
std::optional<std::string> startOf(pid_t pid) {
    const std::string path = "/proc/" + std::to_string(pid) + "/stat";
    const UniqueFd fd(retryInterrupted([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); }));
    if (!fd) {
        return std::nullopt;
    }
    const auto line = readAtMost(fd.get(), 4096);
    if (!line || line->rfind(')') == std::string::npos) {
        return std::nullopt;
    }
    constexpr int fieldsAfterName = 22 - 3;
    std::size_t at = line->rfind(')') + 1;
    for (int field = 0; field < fieldsAfterName && at != std::string::npos; ++field) {
        at = line->find(' ', at + 1);
    }
    if (at == std::string::npos) {
        return std::nullopt;
    }
    const std::size_t end = line->find(' ', at + 1);
    return line->substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
}
#elif defined(__APPLE__)
std::optional<std::string> machineName() {
    uuid_t id = {};
    // The id may have to come from a daemon; a machine that cannot name itself is not waited for.
    const timespec wait = {5, 0};
    if (::gethostuuid(id, &wait) != 0) {
        return std::nullopt;
    }
    std::string name;
    for (const unsigned char byte : id) {
        name.push_back("0123456789abcdef"[byte >> 4]);
        name.push_back("0123456789abcdef"[byte & 0xF]);
    }
    return name;
}

// A new value each time the Mac starts.
std::optional<std::string> bootName() {
    std::array<char, 64> text{};
    std::size_t size = text.size();
    if (::sysctlbyname("kern.bootsessionuuid", text.data(), &size, nullptr, 0) != 0) {
        return std::nullopt;
    }
    std::string name(text.data(), ::strnlen(text.data(), std::min(size, text.size())));
    if (name.empty()) {
        return std::nullopt;
    }
    return name;
}

std::optional<std::string> startOf(pid_t pid) {
    std::array<int, 4> query = {CTL_KERN, KERN_PROC, KERN_PROC_PID, pid};
    kinfo_proc info = {};
    std::size_t size = sizeof(info);
    // No such process answers with nothing at all.
    if (::sysctl(query.data(), static_cast<u_int>(query.size()), &info, &size, nullptr, 0) != 0 ||
        size < sizeof(info)) {
        return std::nullopt;
    }
    const timeval started = info.kp_proc.p_starttime;
    return std::to_string(started.tv_sec) + "." + std::to_string(started.tv_usec);
}
#else
// Elsewhere no record is ever taken for gone.
std::optional<std::string> machineName() {
    return std::nullopt;
}

std::optional<std::string> bootName() {
    return std::nullopt;
}

std::optional<std::string> startOf(pid_t /*pid*/) {
    return std::nullopt;
}
#endif

struct Record {
    std::string_view machine;
    std::string_view boot;
    pid_t process = 0;
    std::string_view started;
};

// The four lines as `ownerRecordOfThisProcess` writes them, and nothing else.
std::optional<Record> parse(std::string_view text) {
    constexpr std::array<std::string_view, 4> keys = {"machine ", "boot ", "process ", "started "};
    std::array<std::string_view, keys.size()> values;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos || !text.starts_with(keys[i])) {
            return std::nullopt;
        }
        values[i] = text.substr(keys[i].size(), end - keys[i].size());
        text.remove_prefix(end + 1);
        if (values[i].empty() || values[i].find(' ') != std::string_view::npos) {
            return std::nullopt;
        }
    }
    Record record{values[0], values[1], 0, values[3]};
    const auto [end, failure] =
        std::from_chars(values[2].data(), values[2].data() + values[2].size(), record.process);
    // Zero or less would name a process group, or all processes, to `kill`.
    if (!text.empty() || failure != std::errc() || end != values[2].data() + values[2].size() ||
        record.process <= 0) {
        return std::nullopt;
    }
    return record;
}

} // namespace

std::string ownerRecordOfThisProcess() {
    const pid_t self = ::getpid();
    const auto machine = machineName();
    const auto boot = bootName();
    const auto started = startOf(self);
    std::string record = "machine ";
    record.append(machine.value_or(std::string(unknown))).append("\nboot ");
    record.append(boot.value_or(std::string(unknown))).append("\nprocess ");
    record.append(std::to_string(self)).append("\nstarted ");
    record.append(started.value_or(std::string(unknown))).append("\n");
    return record;
}

OwnerState ownerStateOf(std::string_view record) {
    const auto parsed = parse(record);
    const auto machine = machineName();
    const auto boot = bootName();
    if (!parsed || !machine || !boot || parsed->machine != *machine) {
        return OwnerState::Unknown;
    }
    if (parsed->boot != *boot) {
        // Another boot of a machine that has no name of its own may be another machine.
        return parsed->machine.starts_with(unknown) ? OwnerState::Unknown : OwnerState::Gone;
    }
    if (::kill(parsed->process, 0) != 0 && errno == ESRCH) {
        return OwnerState::Gone;
    }
    const auto started = startOf(parsed->process);
    if (!started || parsed->started == unknown) {
        return OwnerState::Unknown;
    }
    return *started == parsed->started ? OwnerState::Alive : OwnerState::Gone;
}

Result<void> writeOwnerRecord(int directoryFd, const std::string& name) {
    const UniqueFd fd(retryInterrupted([&] {
        return ::openat(directoryFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    }));
    if (!fd) {
        return std::unexpected(errorFromErrno(errno));
    }
    const std::string record = ownerRecordOfThisProcess();
    if (const int failure = writeAllToFd(fd.get(), std::as_bytes(std::span(record)));
        failure != 0) {
        return std::unexpected(errorFromErrno(failure));
    }
    // On disk before the work it owns, so that a later run can still tell whose it was.
    return syncFileBeforeRename(fd.get(), name);
}

OwnerState ownerStateOfRecord(int directoryFd, const std::string& name) {
    const UniqueFd fd(retryInterrupted([&] {
        return ::openat(directoryFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    }));
    if (!fd) {
        return OwnerState::Unknown;
    }
    const auto text = readAtMost(fd.get(), recordLimit);
    return text ? ownerStateOf(*text) : OwnerState::Unknown;
}

} // namespace tarnvex
