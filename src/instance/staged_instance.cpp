#include "instance/staged_instance.h"

#include "instance/instance_name.h"
#include "instance/make_open_dir.h"
#include "platform/errno_error.h"
#include "platform/owner_record.h"
#include "platform/ownership_lock.h"
#include "platform/random_suffix.h"
#include "platform/rename_no_replace.h"
#include "platform/retry_interrupted.h"
#include "platform/tree_removal.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace tarnvex {

namespace {

constexpr mode_t directoryMode = 0755;
// Written last, as it is what makes the launcher take a folder for an instance.
constexpr std::string_view lastFile = "instance.cfg";

std::string stagingPrefix() {
    return std::string(reservedNamePrefix) + "staging-";
}

// Beside the instance in the staging folder, under a name no instance can have: whose the folder
// is, for a sweep on a volume without locks.
std::string ownerRecordName() {
    return std::string(reservedNamePrefix) + "owner";
}

// Made and opened in one go, so that no interruption falls between the folder and its mark.
Result<UniqueFd> makeStagingFolder(const Directory& instances, const std::string& name) {
    if (auto made = instances.makeChild(name, directoryMode); !made) {
        return std::unexpected(made.error());
    }
    UniqueFd fd(retryInterrupted([&] {
        return ::openat(instances.fd(), name.c_str(),
                        O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }));
    if (!fd) {
        const int openErrno = errno;
        // Gone already means another run's sweep took it: for the caller, a name to pass over.
        if (openErrno == ENOENT) {
            return std::unexpected(Error::PathAlreadyExists);
        }
        (void)::unlinkat(instances.fd(), name.c_str(), AT_REMOVEDIR);
        return std::unexpected(errorFromErrno(openErrno));
    }
    return fd;
}

// Moves every file below `from` over its namesake below `to`, each in one rename.
Result<void> moveFilesOver(const Directory& from, const Directory& to, DirectorySyncs& touched) {
    std::vector<std::string> entries;
    if (auto listed =
            from.forEachEntry([&](std::string_view entry) { entries.emplace_back(entry); });
        !listed) {
        return listed;
    }
    std::ranges::partition(entries, [](const std::string& entry) { return entry != lastFile; });
    for (const std::string& entry : entries) {
        struct stat status = {};
        if (::fstatat(from.fd(), entry.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
            return std::unexpected(errorFromErrno(errno));
        }
        if (S_ISDIR(status.st_mode)) {
            auto fromChild = from.openChild(entry);
            if (!fromChild) {
                return std::unexpected(fromChild.error());
            }
            auto toChild = makeOpenDir(to, entry, touched);
            if (!toChild) {
                return std::unexpected(toChild.error());
            }
            if (auto moved = moveFilesOver(*fromChild, *toChild, touched); !moved) {
                return moved;
            }
        } else if (::renameat(from.fd(), entry.c_str(), to.fd(), entry.c_str()) == 0) {
            touched.add(to.fd());
        } else {
            return std::unexpected(errorFromErrno(errno));
        }
    }
    return {};
}

} // namespace

Result<StagedInstance> StagedInstance::create(const Directory& instances, std::string server) {
    auto own = instances.openChild(".");
    if (!own) {
        return std::unexpected(own.error());
    }
    auto parent =
        makeOwnedEntry(own->fd(), stagingPrefix(), EntryKind::Directory,
                       [&](const std::string& name) { return makeStagingFolder(*own, name); });
    if (!parent) {
        return std::unexpected(parent.error());
    }
    StagedInstance staging(std::move(*own), std::move(*parent), std::move(server));
    const std::string record = ownerRecordName();
    staging.ownerRemoval_ = RemovalOnInterrupt(staging.parent_.fd(), record, EntryKind::File);
    if (auto written = writeOwnerRecord(staging.parent_.fd(), record); !written) {
        return std::unexpected(written.error());
    }
    auto made = staging.parent_.makeChild(staging.server_, directoryMode);
    auto staged = made ? staging.parent_.openChild(staging.server_)
                       : Result<Directory>(std::unexpected(made.error()));
    if (!staged) {
        return std::unexpected(staged.error());
    }
    staging.staged_ = std::move(*staged);
    return staging;
}

StagedInstance::StagedInstance(Directory instances, OwnedEntry&& parent, std::string server)
    : instances_(std::move(instances)), parentName_(std::move(parent.name)),
      parentRemoval_(std::move(parent.removal)),
      madeRemoval_(std::make_unique<RemovalOnInterruptGroup>()), parent_(std::move(parent.fd)),
      staged_(UniqueFd()), server_(std::move(server)) {
    parent_.removeOnInterrupt(*madeRemoval_);
}

StagedInstance::StagedInstance(StagedInstance&& other) noexcept
    : instances_(std::move(other.instances_)), parentName_(std::move(other.parentName_)),
      parentRemoval_(std::move(other.parentRemoval_)),
      ownerRemoval_(std::move(other.ownerRemoval_)), madeRemoval_(std::move(other.madeRemoval_)),
      parent_(std::move(other.parent_)), staged_(std::move(other.staged_)),
      server_(std::move(other.server_)), pending_(std::exchange(other.pending_, false)) {}

StagedInstance::~StagedInstance() {
    // Still locked by `parent_`, so no other run takes it meanwhile; what cannot be removed now
    // is left to a later run's sweep.
    if (pending_) {
        (void)removeTree(instances_, parentName_, parent_);
    }
    // Its mark names the record through `parent_`, which closes before the member would go.
    ownerRemoval_.release();
}

Result<void> StagedInstance::place(DirectorySyncs& touched) {
    // Every staged entry is on disk before the folder that holds them moves.
    if (auto synced = touched.syncDirectories(); !synced) {
        return synced;
    }
    Result<void> renamed;
    {
        // Once moved, the marks made below the staging folder would name the placed instance.
        const InterruptionsDeferred deferred;
        renamed = renameNoReplace(parent_.fd(), server_, instances_.fd(), server_);
        if (renamed) {
            madeRemoval_->release();
            pending_ = false;
        }
    }
    if (renamed) {
        touched.add(parent_.fd());
        auto synced = touched.syncDirectories();
        // Until it is gone, an interruption still removes the emptied staging folder; after a kill
        // the next run's sweep does.
        (void)::unlinkat(parent_.fd(), ownerRecordName().c_str(), 0);
        ownerRemoval_.release();
        (void)::unlinkat(instances_.fd(), parentName_.c_str(), AT_REMOVEDIR);
        parentRemoval_.release();
        touched.add(instances_.fd());
        return synced;
    }
    if (renamed.error() != Error::PathAlreadyExists) {
        return renamed;
    }
    // Another run or the player made the instance meanwhile: this run overwrites it instead.
    auto existing = makeOpenDir(instances_, server_, touched);
    if (!existing) {
        return std::unexpected(existing.error());
    }
    return moveFilesOver(staged_, *existing, touched);
}

void sweepStagingFolders(const Directory& instances) {
    const std::string prefix = stagingPrefix();
    sweepLeftovers(
        instances, EntryKind::Directory,
        [&](std::string_view name) {
            return name.starts_with(prefix) && isRandomSuffix(name.substr(prefix.size()));
        },
        [&](const std::string& left, UniqueFd held) {
            // What cannot be cleared now stays for a later run, never followed.
            (void)removeTree(instances, left, Directory(std::move(held)));
        },
        [](int folder) { return ownerStateOfRecord(folder, ownerRecordName()); });
}

} // namespace tarnvex
