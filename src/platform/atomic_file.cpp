#include "platform/atomic_file.h"

#include "io/buffered_writer.h"
#include "platform/disk_sync.h"
#include "platform/errno_error.h"
#include "platform/ownership_lock.h"
#include "platform/random_suffix.h"
#include "platform/retry_interrupted.h"

#include <cerrno>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tarnvex {

namespace {

constexpr std::string_view temporaryMarker = ".tarnvex-";

// The hidden name's start; a recognisable shape lets a later run find what a killed one left.
std::string temporaryPrefix(const std::string& name) {
    std::string prefix = ".";
    prefix.append(name).append(temporaryMarker);
    return prefix;
}

// Whether `entry` has the shape of a temporary's name: "." and a file name, then the marker and
// a random suffix.
bool isTemporaryName(std::string_view entry) {
    constexpr std::size_t tail = temporaryMarker.size() + randomSuffixLength;
    if (entry.size() <= 1 + tail || !entry.starts_with('.')) {
        return false;
    }
    const std::string_view end = entry.substr(entry.size() - tail);
    return end.starts_with(temporaryMarker) && isRandomSuffix(end.substr(temporaryMarker.size()));
}

Result<UniqueFd> createExclusive(int dirFd, const std::string& path) {
    const int fd = retryInterrupted([&] {
        return ::openat(dirFd, path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    });
    if (fd < 0) {
        return std::unexpected(errorFromErrno(errno));
    }
    return UniqueFd(fd);
}

} // namespace

Result<AtomicFile> AtomicFile::create(const Directory& dir, std::string name) {
    // A duplicate keeps the directory usable for the rename even if the caller closes its own.
    UniqueFd dirCopy(::fcntl(dir.fd(), F_DUPFD_CLOEXEC, 0));
    if (!dirCopy) {
        return std::unexpected(errorFromErrno(errno));
    }
    auto temporary = makeOwnedEntry(dirCopy.get(), temporaryPrefix(name), EntryKind::File,
                                    [&](const std::string& temporaryName) {
                                        return createExclusive(dirCopy.get(), temporaryName);
                                    });
    if (!temporary) {
        return std::unexpected(temporary.error());
    }
    return AtomicFile(std::move(dirCopy), std::move(*temporary), std::move(name),
                      dir.removalOnInterrupt());
}

AtomicFile::AtomicFile(UniqueFd dir, OwnedEntry&& temporary, std::string name,
                       RemovalOnInterruptGroup* placedRemoval)
    : dir_(std::move(dir)), file_(std::move(temporary.fd)), name_(std::move(name)),
      temporaryName_(std::move(temporary.name)), removal_(std::move(temporary.removal)),
      placedRemoval_(placedRemoval), pending_(true) {}

AtomicFile::AtomicFile(AtomicFile&& other) noexcept
    : dir_(std::move(other.dir_)), file_(std::move(other.file_)), name_(std::move(other.name_)),
      temporaryName_(std::move(other.temporaryName_)), removal_(std::move(other.removal_)),
      placedRemoval_(other.placedRemoval_), pending_(std::exchange(other.pending_, false)),
      written_(other.written_), writeBackStarted_(other.writeBackStarted_) {}

AtomicFile& AtomicFile::operator=(AtomicFile&& other) noexcept {
    if (this != &other) {
        discard();
        dir_ = std::move(other.dir_);
        file_ = std::move(other.file_);
        name_ = std::move(other.name_);
        temporaryName_ = std::move(other.temporaryName_);
        removal_ = std::move(other.removal_);
        placedRemoval_ = other.placedRemoval_;
        pending_ = std::exchange(other.pending_, false);
        written_ = other.written_;
        writeBackStarted_ = other.writeBackStarted_;
    }
    return *this;
}

AtomicFile::~AtomicFile() {
    discard();
}

void AtomicFile::discard() noexcept {
    if (!pending_) {
        return;
    }
    pending_ = false;
    // Emptied before the close, which on a network volume would first send what was written.
    (void)::ftruncate(file_.get(), 0);
    file_.reset();
    (void)::unlinkat(dir_.get(), temporaryName_.c_str(), 0);
    removal_.release();
}

Result<void> AtomicFile::setMode(mode_t mode) {
    if (retryInterrupted([&] { return ::fchmod(file_.get(), mode); }) != 0) {
        return std::unexpected(errorFromErrno(errno));
    }
    return {};
}

void AtomicFile::startWriteBack() noexcept {
#if defined(__linux__) && defined(_GNU_SOURCE)
    // Writing a large file back as it grows leaves little for the sync before the rename, which
    // would otherwise stall for the whole file at the end.
    constexpr off_t writeBackStep = off_t{8} << 20;
    if (written_ - writeBackStarted_ >= writeBackStep) {
        (void)::sync_file_range(file_.get(), writeBackStarted_, written_ - writeBackStarted_,
                                SYNC_FILE_RANGE_WRITE);
        writeBackStarted_ = written_;
    }
#endif
}

Result<std::size_t> AtomicFile::writeSome(std::span<const std::byte> bytes) {
    const ssize_t written =
        retryInterrupted([&] { return ::write(file_.get(), bytes.data(), bytes.size()); });
    if (written < 0) {
        return std::unexpected(errorFromErrno(errno));
    }
    written_ += written;
    recordDiskStep(DiskStep::Write, file_.get(), name_);
    startWriteBack();
    return static_cast<std::size_t>(written);
}

Result<void> AtomicFile::commit(DirectorySyncs& touched) {
    if (!pending_) {
        return std::unexpected(Error::Unexpected);
    }
    if (auto synced = syncFileBeforeRename(file_.get(), name_); !synced) {
        discard();
        return synced;
    }
    if (placedRemoval_ != nullptr) {
        placedRemoval_->mark(dir_.get(), name_, EntryKind::File);
    }
    // Still open, so still locked: another run's sweep leaves it alone until it has its name.
    if (::renameat(dir_.get(), temporaryName_.c_str(), dir_.get(), name_.c_str()) != 0) {
        const int renameErrno = errno;
        discard();
        return std::unexpected(errorFromErrno(renameErrno));
    }
    recordDiskStep(DiskStep::Rename, dir_.get(), name_);
    // The bytes are on disk already, so a failed close has lost nothing.
    file_.reset();
    pending_ = false;
    removal_.release();
    touched.add(dir_.get());
    return {};
}

void sweepTemporaries(const Directory& dir) {
    sweepLeftovers(dir, EntryKind::File, isTemporaryName,
                   [&](const std::string& stale, UniqueFd /*held*/) {
                       // Best effort: a leftover that stays does no harm beyond taking space.
                       (void)::unlinkat(dir.fd(), stale.c_str(), 0);
                   });
}

Result<void> replaceFile(const Directory& dir, std::string name, std::string_view bytes,
                         DirectorySyncs& touched) {
    auto file = AtomicFile::create(dir, std::move(name));
    if (!file) {
        return std::unexpected(file.error());
    }
    BufferedWriter writer(*file, 4096);
    if (auto written = writer.write(bytes); !written) {
        return written;
    }
    if (auto flushed = writer.flush(); !flushed) {
        return flushed;
    }
    return file->commit(touched);
}

} // namespace tarnvex
