#pragma once

#include <string>
#include <string_view>

namespace tarnvex::test {

/// A fresh directory under the system's temp folder, removed with everything in it at the end.
class TempDirectory {
public:
    TempDirectory();
    ~TempDirectory();
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

/// A temp HOME holding a launcher skeleton: Library/Application Support/PrismLauncher with
/// prismlauncher.cfg and instances/.
class TempHome {
public:
    TempHome();

    const std::string& home() const { return directory_.path(); }
    std::string launcherPath() const;
    std::string instancePath(std::string_view server) const;

private:
    TempDirectory directory_;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, std::string_view content);
void makeDirectories(const std::string& path);
bool pathExists(const std::string& path);
/// Every path below `root`, relative to it, sorted; directories end with "/".
std::string listTree(const std::string& root);

} // namespace tarnvex::test
