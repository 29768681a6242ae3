#pragma once

#include <string>

namespace tarnvex {

/// One server instance of the catalogue; every field is required.
struct MinecraftServerEntry {
    std::string loader;
    std::string server;
    std::string version;
    std::string loaderVersion;
    std::string address;
};

} // namespace tarnvex
