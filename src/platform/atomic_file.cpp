#include "platform/atomic_file.h"

#include "io/buffered_writer.h"
#include "platform/disk_sync.h"
#include "platform/errno_error.h"

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tarnvex {

namespace {

constexpr std::string_view temporaryMarker = ".tarnvex-";
constexpr std::size_t randomSuffixLength = 6;
constexpr int attemptsAtAFreeName = 100;

// The hidden name's start; a recognisable shape lets a later run find what a killed one left.
std::string temporaryPrefix(const std::string& name) {
    std::string prefix = ".";
    prefix.append(name).append(temporaryMarker);
    return prefix;
}

// O_EXCL makes the name safe; the suffix only has to make a collision unlikely.
std::string randomSuffix() {
    static std::uint64_t counter = 0;
    timespec now{};
    (void)::clock_gettime(CLOCK_REALTIME, &now);
    ++counter;
    std::uint64_t x = (static_cast<std::uint64_t>(::getpid()) << 32) ^ counter ^
                      (static_cast<std::uint64_t>(now.tv_sec) << 20) ^
                      static_cast<std::uint64_t>(now.tv_nsec);
    // splitmix64 spreads the few changing bits over the whole word.
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    x ^= x >> 31;
    constexpr std::string_view alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string suffix;
    for (std::size_t i = 0; i < randomSuffixLength; ++i) {
        suffix.push_back(alphabet[x % alphabet.size()]);
        x /= alphabet.size();
    }
    return suffix;
}

// Best effort: a leftover that cannot be removed does no harm beyond taking space.
void removeStaleTemporaries(const Directory& dir, const std::string& prefix) {
    std::vector<std::string> stale;
    (void)dir.forEachEntry([&](std::string_view entry) {
        if (entry.size() == prefix.size() + randomSuffixLength && entry.starts_with(prefix)) {
            stale.emplace_back(entry);
        }
    });
    for (const std::string& entry : stale) {
        (void)::unlinkat(dir.fd(), entry.c_str(), 0);
    }
}

Result<UniqueFd> createExclusive(int dirFd, const std::string& path) {
    for (;;) {
        const int fd = ::openat(dirFd, path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            return UniqueFd(fd);
        }
        if (errno != EINTR) {
            return std::unexpected(errorFromErrno(errno));
        }
    }
}

} // namespace

Result<AtomicFile> AtomicFile::create(const Directory& dir, std::string name) {
    // A duplicate keeps the directory usable for the rename even if the caller closes its own.
    UniqueFd dirCopy(::fcntl(dir.fd(), F_DUPFD_CLOEXEC, 0));
    if (!dirCopy) {
        return std::unexpected(errorFromErrno(errno));
    }
    const std::string prefix = temporaryPrefix(name);
    removeStaleTemporaries(dir, prefix);
    for (int attempt = 0; attempt < attemptsAtAFreeName; ++attempt) {
        std::string temporaryName = prefix + randomSuffix();
        auto file = createExclusive(dirCopy.get(), temporaryName);
        if (file) {
            return AtomicFile(std::move(dirCopy), std::move(*file), std::move(name),
                              std::move(temporaryName));
        }
        if (file.error() != Error::PathAlreadyExists) {
            return std::unexpected(file.error());
        }
    }
    return std::unexpected(Error::PathAlreadyExists);
}

AtomicFile::AtomicFile(UniqueFd dir, UniqueFd file, std::string name, std::string temporaryName)
    : dir_(std::move(dir)), file_(std::move(file)), name_(std::move(name)),
      temporaryName_(std::move(temporaryName)), removal_(dir_.get(), temporaryName_),
      pending_(true) {}

AtomicFile::AtomicFile(AtomicFile&& other) noexcept
    : dir_(std::move(other.dir_)), file_(std::move(other.file_)), name_(std::move(other.name_)),
      temporaryName_(std::move(other.temporaryName_)), removal_(std::move(other.removal_)),
      pending_(std::exchange(other.pending_, false)), written_(other.written_),
      writeBackStarted_(other.writeBackStarted_) {}

AtomicFile& AtomicFile::operator=(AtomicFile&& other) noexcept {
    if (this != &other) {
        discard();
        dir_ = std::move(other.dir_);
        file_ = std::move(other.file_);
        name_ = std::move(other.name_);
        temporaryName_ = std::move(other.temporaryName_);
        removal_ = std::move(other.removal_);
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
    file_.reset();
    (void)::unlinkat(dir_.get(), temporaryName_.c_str(), 0);
    removal_.release();
}

Result<void> AtomicFile::setMode(mode_t mode) {
    for (;;) {
        if (::fchmod(file_.get(), mode) == 0) {
            return {};
        }
        if (errno != EINTR) {
            return std::unexpected(errorFromErrno(errno));
        }
    }
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
    for (;;) {
        const ssize_t written = ::write(file_.get(), bytes.data(), bytes.size());
        if (written >= 0) {
            written_ += written;
            recordDiskStep(DiskStep::Write, file_.get(), name_);
            startWriteBack();
            return static_cast<std::size_t>(written);
        }
        if (errno != EINTR) {
            return std::unexpected(errorFromErrno(errno));
        }
    }
}

Result<void> AtomicFile::commit(DirectorySyncs& touched) {
    if (!pending_) {
        return std::unexpected(Error::Unexpected);
    }
    if (auto synced = syncFileBeforeRename(file_.get(), name_); !synced) {
        discard();
        return synced;
    }
    // The bytes are on disk already, so an interrupted close has lost nothing.
    if (::close(file_.release()) != 0 && errno != EINTR) {
        const int closeErrno = errno;
        discard();
        return std::unexpected(errorFromErrno(closeErrno));
    }
    if (::renameat(dir_.get(), temporaryName_.c_str(), dir_.get(), name_.c_str()) != 0) {
        const int renameErrno = errno;
        discard();
        return std::unexpected(errorFromErrno(renameErrno));
    }
    recordDiskStep(DiskStep::Rename, dir_.get(), name_);
    pending_ = false;
    removal_.release();
    touched.add(dir_.get());
    return {};
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
