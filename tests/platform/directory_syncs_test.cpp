#include "platform/directory_syncs.h"

#include "instance/make_open_dir.h"
#include "platform/atomic_file.h"
#include "platform/disk_steps.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

namespace tarnvex {
namespace {

std::vector<std::string> steps;
std::string root;

void record(DiskStep step, int fd, std::string_view name) {
    struct stat viaFd = {};
    (void)::fstat(fd, &viaFd);
    // A directory is named by its path below the root.
    for (const char* directory : {".", "made", "made/deeper"}) {
        struct stat viaPath = {};
        if (step == DiskStep::DirectorySync &&
            ::stat((root + "/" + directory).c_str(), &viaPath) == 0 &&
            viaPath.st_ino == viaFd.st_ino) {
            name = directory;
        }
    }
    static constexpr const char* verbs[] = {"write ", "sync ", "rename ", "sync dir ", "flush"};
    steps.push_back(verbs[static_cast<int>(step)] + std::string(name));
}

TEST(DirectorySyncs, EachFileIsOnDiskBeforeItsRenameAndEveryTouchedDirectoryAfterIt) {
    test::TempDirectory temp;
    root = temp.path();
    steps.clear();
    const DiskStepRecorder before = recordDiskStepsWith(record);
    {
        DirectorySyncs touched;
        auto base = Directory::open(root).value();
        auto made = makeOpenDir(base, "made/deeper", touched).value();
        ASSERT_TRUE(replaceFile(made, "servers.dat", "x", touched).has_value());
        ASSERT_TRUE(replaceFile(made, "instance.cfg", "y", touched).has_value());
        ASSERT_TRUE(touched.syncAll().has_value());
    }
    recordDiskStepsWith(before);
    std::vector<std::string> expected = {
        "write servers.dat",  "sync servers.dat",  "rename servers.dat",
        "write instance.cfg", "sync instance.cfg", "rename instance.cfg",
        "sync dir .",         "sync dir made",     "sync dir made/deeper"};
#ifdef __APPLE__
    expected.emplace_back("flush");
#endif
    EXPECT_EQ(steps, expected);
}

} // namespace
} // namespace tarnvex
