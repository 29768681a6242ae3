#pragma once

#include <cstdint>
#include <string_view>

namespace tarnvex {

/// The steps that decide what a power loss leaves on disk, in the order they are made.
enum class DiskStep : std::uint8_t {
    Write,         ///< bytes written to a file, named by its final name
    FileSync,      ///< a file's bytes ordered or synced before its rename
    Rename,        ///< a temporary renamed to its final name
    DirectorySync, ///< a directory's entries synced
    DriveFlush,    ///< the drive told to write out its cache (Apple only)
};

/// Sees each step after it succeeded; `fd` is the file or directory, `name` a file's final name.
using DiskStepRecorder = void (*)(DiskStep step, int fd, std::string_view name);

/// Lets tests watch the real steps; none is watched unless a recorder is set. Returns the
/// recorder that was set before.
DiskStepRecorder recordDiskStepsWith(DiskStepRecorder recorder) noexcept;

void recordDiskStep(DiskStep step, int fd, std::string_view name = {}) noexcept;

} // namespace tarnvex
