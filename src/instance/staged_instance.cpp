#include "instance/staged_instance.h"

#include "instance/instance_name.h"
#include "instance/make_open_dir.h"
#include "platform/errno_error.h"
#include "platform/ownership_lock.h"
#include "platform/random_suffix.h"
#include "platform/rename_no_replace.h"
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
constexpr int attemptsAtAFreeName = 100;
// Written last, as it is what makes the launcher take a folder for an instance.
constexpr std::string_view lastFile = "instance.cfg";

std::string stagingPrefix() {
    return std::string(reservedNamePrefix) + "staging-";
}

struct StagingFolder {
    std::string name;
    Directory directory;
};

Result<StagingFolder> makeStagingFolder(const Directory& instances) {
    const std::string prefix = stagingPrefix();
    for (int attempt = 0; attempt < attemptsAtAFreeName; ++attempt) {
        std::string name = prefix + randomSuffix();
        if (auto made = instances.makeChild(name, directoryMode); !made) {
            if (made.error() == Error::PathAlreadyExists) {
                continue;
            }
            return std::unexpected(made.error());
        }
        // Another run's sweep may take the new folder before it is locked: then make another.
        auto opened = instances.openChild(name);
        if (!opened) {
            if (opened.error() == Error::FileNotFound) {
                continue;
            }
            return std::unexpected(opened.error());
        }
        auto locked = lockAsOurs(instances.fd(), name, opened->fd());
        if (locked) {
            return StagingFolder{std::move(name), std::move(*opened)};
        }
        if (locked.error() != Error::FileNotFound) {
            (void)::unlinkat(instances.fd(), name.c_str(), AT_REMOVEDIR);
            return std::unexpected(locked.error());
        }
    }
    return std::unexpected(Error::PathAlreadyExists);
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
    sweepLeftovers(instances, stagingPrefix(), O_RDONLY | O_DIRECTORY,
                   [&](const std::string& left) { removeTree(instances, left); });
    auto parent = makeStagingFolder(instances);
    if (!parent) {
        return std::unexpected(parent.error());
    }
    auto made = parent->directory.makeChild(server, directoryMode);
    auto staged = made ? parent->directory.openChild(server)
                       : Result<Directory>(std::unexpected(made.error()));
    if (!staged) {
        removeTree(instances, parent->name);
        return std::unexpected(staged.error());
    }
    return StagedInstance(std::move(*own), std::move(parent->directory), std::move(parent->name),
                          std::move(*staged), std::move(server));
}

StagedInstance::StagedInstance(Directory instances, Directory parent, std::string parentName,
                               Directory staged, std::string server)
    : instances_(std::move(instances)), parent_(std::move(parent)),
      parentName_(std::move(parentName)), staged_(std::move(staged)), server_(std::move(server)) {}

StagedInstance::StagedInstance(StagedInstance&& other) noexcept
    : instances_(std::move(other.instances_)), parent_(std::move(other.parent_)),
      parentName_(std::move(other.parentName_)), staged_(std::move(other.staged_)),
      server_(std::move(other.server_)), pending_(std::exchange(other.pending_, false)) {}

StagedInstance::~StagedInstance() {
    // Still locked by `parent_`, so no other run takes it meanwhile.
    if (pending_) {
        removeTree(instances_, parentName_);
    }
}

Result<void> StagedInstance::place(DirectorySyncs& touched) {
    // Every staged entry is on disk before the folder that holds them moves.
    if (auto synced = touched.syncDirectories(); !synced) {
        return synced;
    }
    auto renamed = renameNoReplace(parent_.fd(), server_, instances_.fd(), server_);
    if (renamed) {
        pending_ = false;
        touched.add(parent_.fd());
        auto synced = touched.syncDirectories();
        (void)::unlinkat(instances_.fd(), parentName_.c_str(), AT_REMOVEDIR);
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

} // namespace tarnvex
