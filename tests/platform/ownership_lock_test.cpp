#include "platform/ownership_lock.h"

#include "add_instance.h"
#include "instance/staged_instance.h"
#include "support/installer_run.h"
#include "support/memory_console.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <regex>
#include <string>
#include <sys/file.h>
#include <unistd.h>

namespace tarnvex {
namespace {

using test::listTree;
using test::readFile;
using test::TempDirectory;
using test::writeFile;

TEST(OwnershipLock, TheSweepHoldsEachLeftoversLockUntilItIsGone) {
    TempDirectory temp;
    writeFile(temp.path() + "/.a.tarnvex-a1B2c3", "left over");
    const auto dir = Directory::open(temp.path()).value();
    int lockedAtRemoval = 0;
    sweepLeftovers(
        dir, EntryKind::File, [](std::string_view name) { return name.starts_with(".a."); },
        [&](const std::string& name, UniqueFd /*held*/) {
            // A run making this name now would take it only with the lock.
            const int fd = ::openat(dir.fd(), name.c_str(), O_RDONLY | O_CLOEXEC);
            lockedAtRemoval = ::flock(fd, LOCK_EX | LOCK_NB) != 0 ? errno : 0;
            ::close(fd);
            ::unlinkat(dir.fd(), name.c_str(), 0);
        });
    EXPECT_EQ(lockedAtRemoval, EWOULDBLOCK);
    EXPECT_EQ(listTree(temp.path()), "");
}

template <int failure> int refusesLocks(int /*fd*/, int /*operation*/) {
    errno = failure;
    return -1;
}

// An NFS home without its lock daemon, a volume without locks, a CIFS share answering "held":
// the install goes on, and the sweep tells a live run's staging folder from a killed one's by
// their owner records where it cannot lock them.
TEST(OwnershipLock, AnInstallGoesOnWhateverTheLockAnswers) {
    struct Case {
        const char* what;
        LockCall call;
        bool killedCleared;
    };
    for (const Case& c :
         {Case{"ENOLCK", refusesLocks<ENOLCK>, true}, Case{"ENOTSUP", refusesLocks<ENOTSUP>, true},
          Case{"EACCES", refusesLocks<EACCES>, false}}) {
        test::InstallerRun run;
        run.serveBody("/servers", test::catalogueWith("gable.example.org", "52.0.3"));
        run.serveBody(test::InstallerRun::clientPath, test::clientBody(100));
        ASSERT_EQ(::setenv("HOME", run.home().home().c_str(), 1), 0);
        const std::string instances = run.home().launcherPath() + "/instances/";
        const LocksThrough locks(c.call);
        auto live = StagedInstance::create(Directory::open(instances).value(), "Lantern Hollow");
        ASSERT_TRUE(live.has_value()) << c.what;
        const std::string liveTree = listTree(instances);
        // The live run's record, but for a process that reused its id, or on another machine.
        const std::string record = readFile(instances + liveTree.substr(0, 24) + ".tarnvex-owner");
        for (const auto& [folder, changed] :
             {std::pair{".tarnvex-staging-KiLLed/", std::regex("started .*")},
              std::pair{".tarnvex-staging-0therM/", std::regex("machine .*")}}) {
            test::makeDirectories(instances + folder + "Gable Fields");
            writeFile(instances + folder + ".tarnvex-owner",
                      std::regex_replace(record, changed, "$&1"));
        }
        const InstallerSettings settings = {.catalogueUrl = run.catalogueUrl(),
                                            .downloadUrl = run.downloadUrl(),
                                            .caFile = run.caFile()};
        test::MemoryConsole console("1\n");
        ASSERT_TRUE(addInstance(settings, console.in, console.out).has_value()) << c.what;
        EXPECT_TRUE(test::pathExists(instances + "Gable Fields/instance.cfg")) << c.what;
        EXPECT_EQ(test::pathExists(instances + ".tarnvex-staging-KiLLed"), !c.killedCleared)
            << c.what;
        EXPECT_TRUE(test::pathExists(instances + ".tarnvex-staging-0therM")) << c.what;
        EXPECT_NE(listTree(instances).find(liveTree), std::string::npos) << c.what;
    }
}

} // namespace
} // namespace tarnvex
