#pragma once

#include "error.h"
#include "platform/directory.h"
#include "platform/directory_syncs.h"
#include "platform/interrupt_cleanup.h"
#include "platform/ownership_lock.h"

#include <memory>
#include <string>

namespace tarnvex {

/// A new instance built out of the launcher's sight and then put in place whole, in one rename.
/// It is built in `instances/.tarnvex-staging-XXXXXX/<server>/`: a folder of `instances/` that
/// never holds `instance.cfg` itself, so the launcher, which lists every folder of `instances/`
/// holding one, never lists it; and on the same volume as the instance, as a rename needs.
class StagedInstance {
public:
    /// Makes this run's staging folder, locked while it lives so that no other run clears it
    /// away, and removed with what it holds should the run be interrupted. It records this process
    /// as its owner, for a volume without locks.
    static Result<StagedInstance> create(const Directory& instances, std::string server);

    StagedInstance(StagedInstance&& other) noexcept;
    StagedInstance& operator=(StagedInstance&&) = delete;
    StagedInstance(const StagedInstance&) = delete;
    StagedInstance& operator=(const StagedInstance&) = delete;
    /// Removes the staging folder with all it holds, unless it was placed.
    ~StagedInstance();

    /// The instance directory being built.
    const Directory& directory() const { return staged_; }

    /// Syncs the staged folders, then renames the instance directory to `instances/<server>`.
    /// Where that name was taken meanwhile (by another run or the player), moves each file over
    /// the one of that folder instead, `instance.cfg` last. The folders it changed are left to
    /// `touched`.
    Result<void> place(DirectorySyncs& touched);

private:
    StagedInstance(Directory instances, OwnedEntry&& parent, std::string server);

    Directory instances_;
    std::string parentName_;
    RemovalOnInterrupt parentRemoval_;
    RemovalOnInterrupt ownerRemoval_;
    // On the heap, so that the directories below, which point to it, can move with it.
    std::unique_ptr<RemovalOnInterruptGroup> madeRemoval_;
    Directory parent_;
    Directory staged_;
    std::string server_;
    bool pending_ = true;
};

/// Clears away the staging folders in `instances` of runs that ended without placing them, each
/// while holding its lock or, where it cannot be locked, once its owner is known to be gone; what
/// cannot be removed is left, and nothing outside is touched.
void sweepStagingFolders(const Directory& instances);

} // namespace tarnvex
