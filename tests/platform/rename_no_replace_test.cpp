#include "platform/rename_no_replace.h"

#include "support/fails_with.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <fcntl.h>

namespace tarnvex {
namespace {

using test::makeDirectories;
using test::TempDirectory;
using test::writeFile;

TEST(RenameNoReplace, RefusesAFullFolderAnEmptyOneOrAFileInTheWay) {
    for (const std::string_view target : {"full", "empty", "file"}) {
        SCOPED_TRACE(target);
        TempDirectory temp;
        makeDirectories(temp.path() + "/staged");
        writeFile(temp.path() + "/staged/instance.cfg", "new");
        makeDirectories(temp.path() + "/full");
        writeFile(temp.path() + "/full/level.dat", "old");
        makeDirectories(temp.path() + "/empty");
        writeFile(temp.path() + "/file", "old");
        const std::string before = test::listTree(temp.path());
        EXPECT_THAT(renameNoReplace(AT_FDCWD, temp.path() + "/staged", AT_FDCWD,
                                    temp.path() + "/" + std::string(target)),
                    test::FailsWith(Error::PathAlreadyExists));
        EXPECT_EQ(test::listTree(temp.path()), before);
    }
}

} // namespace
} // namespace tarnvex
