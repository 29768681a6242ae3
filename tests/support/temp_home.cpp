#include "support/temp_home.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarnvex::test {

namespace fs = std::filesystem;

TempDirectory::TempDirectory() {
    std::string pattern = (fs::temp_directory_path() / "tarnvex-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempDirectory::~TempDirectory() {
    std::error_code ignored;
    // Tests make read-only folders; give the owner back the right to empty them.
    for (auto it = fs::recursive_directory_iterator(path_, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        }
    }
    fs::remove_all(path_, ignored);
}

TempHome::TempHome() {
    makeDirectories(launcherPath() + "/instances");
    writeFile(launcherPath() + "/prismlauncher.cfg", "[General]\n");
}

std::string TempHome::launcherPath() const {
    return home() + "/Library/Application Support/PrismLauncher";
}

std::string TempHome::instancePath(std::string_view server) const {
    return launcherPath() + "/instances/" + std::string(server);
}

std::string readFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw std::runtime_error("cannot open " + path);
    }
    std::string content;
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count <= 0) {
            break;
        }
        content.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(fd);
    return content;
}

void writeFile(const std::string& path, std::string_view content) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw std::runtime_error("cannot create " + path);
    }
    const bool complete =
        ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    ::close(fd);
    if (!complete) {
        throw std::runtime_error("cannot write " + path);
    }
}

void makeDirectories(const std::string& path) {
    fs::create_directories(path);
}

bool pathExists(const std::string& path) {
    struct stat status = {};
    return ::lstat(path.c_str(), &status) == 0;
}

std::string listTree(const std::string& root) {
    std::vector<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::string relative = fs::relative(entry.path(), root).string();
        if (entry.is_directory() && !entry.is_symlink()) {
            relative.push_back('/');
        }
        entries.push_back(std::move(relative));
    }
    std::sort(entries.begin(), entries.end());
    std::string listing;
    for (const auto& entry : entries) {
        listing.append(entry).push_back('\n');
    }
    return listing;
}

} // namespace tarnvex::test
