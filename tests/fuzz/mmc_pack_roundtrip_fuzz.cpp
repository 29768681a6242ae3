// Whatever strings an entry holds, the component pack written for it reads back, through a JSON
// parser, as the same strings in the same places.

#include "instance/mmc_pack.h"

#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte picks the loader, the rest splits at the first NUL into the two versions.
    const bool fabric = (data[0] & 1) != 0;
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t split = rest.find('\0');
    tarnvex::MinecraftServerEntry entry;
    entry.loader = fabric ? "fabric" : "forge";
    entry.server = "Fuzz";
    entry.version = std::string(rest.substr(0, split));
    entry.loaderVersion =
        split == std::string_view::npos ? "" : std::string(rest.substr(split + 1));
    entry.address = "fuzz.example.org";

    const auto text = tarnvex::mmcPackText(entry);
    if (!text) {
        return 0;
    }
    const auto document = nlohmann::json::parse(*text, nullptr, false);
    if (document.is_discarded()) {
        std::abort();
    }
    const auto& components = document.at("components");
    const auto& minecraft = components.at(1);
    const auto& loader = components.at(components.size() - 1);
    if (components.size() != (fabric ? 4U : 3U) || minecraft.at("version") != entry.version ||
        minecraft.at("cachedVersion") != entry.version ||
        loader.at("version") != entry.loaderVersion ||
        loader.at("cachedVersion") != entry.loaderVersion ||
        components.at(2).at("cachedRequires").at(0).at("equals") != entry.version) {
        std::abort();
    }
    return 0;
}
