#pragma once

#include "error.h"
#include "io/byte_stream.h"
#include "platform/directory.h"
#include "platform/directory_syncs.h"
#include "platform/interrupt_cleanup.h"
#include "platform/ownership_lock.h"
#include "platform/unique_fd.h"

#include <string>
#include <sys/types.h>

namespace tarnvex {

/// A file that replaces `name` in one step: bytes go to a hidden temporary in the same directory,
/// and only `commit` puts them under the final name. Until then any earlier file of that name
/// stays exactly as it was, and a file that is dropped uncommitted, or whose run is interrupted,
/// leaves nothing behind.
class AtomicFile final : public ByteSink {
public:
    /// Starts a replacement of `name` in `dir`: a new, empty temporary, write-only, closed on exec,
    /// mode 0666 before the umask, locked (where the volume allows) until it is committed or
    /// dropped. In a directory built out of sight, the file is marked for removal on interrupt
    /// under its final name too, from the commit on.
    static Result<AtomicFile> create(const Directory& dir, std::string name);

    AtomicFile(AtomicFile&& other) noexcept;
    AtomicFile& operator=(AtomicFile&& other) noexcept;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    /// Removes the temporary unless it was committed.
    ~AtomicFile() override;

    /// Sets the permission bits the file will have under its final name.
    Result<void> setMode(mode_t mode);

    Result<std::size_t> writeSome(std::span<const std::byte> bytes) override;

    /// Puts the bytes on disk ahead of the rename (`syncFileBeforeRename`), then renames the
    /// temporary over the final name; the directory, whose sync makes the rename itself durable,
    /// is left to `touched`. On failure the temporary is removed and the earlier file is untouched.
    Result<void> commit(DirectorySyncs& touched);

private:
    AtomicFile(UniqueFd dir, OwnedEntry&& temporary, std::string name,
               RemovalOnInterruptGroup* placedRemoval);
    void discard() noexcept;
    void startWriteBack() noexcept;

    UniqueFd dir_;
    UniqueFd file_;
    std::string name_;
    std::string temporaryName_;
    RemovalOnInterrupt removal_;
    RemovalOnInterruptGroup* placedRemoval_ = nullptr;
    bool pending_ = false;
    /// Bytes written so far, and how many of them have been handed to the disk early.
    off_t written_ = 0;
    off_t writeBackStarted_ = 0;
};

/// Removes the temporaries in `dir` that runs which ended left, of any file, each while holding its
/// lock: those another run is writing stay, as does all that cannot be locked or is not a regular
/// file. `dir` is listed once.
void sweepTemporaries(const Directory& dir);

/// Replaces `name` in `dir` with `bytes` in one step, writing them through a buffer of 4096 bytes;
/// `dir` is left to `touched` to sync.
Result<void> replaceFile(const Directory& dir, std::string name, std::string_view bytes,
                         DirectorySyncs& touched);

} // namespace tarnvex
