// Any body either parses into entries or is refused with a name; a parse that succeeds must give
// the same entries when the entries are written out again.

#include "remote/catalogue_parser.h"

#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const auto parsed = tarnvex::parseCatalogue(body);
    if (!parsed) {
        return 0;
    }
    nlohmann::json array = nlohmann::json::array();
    for (const auto& entry : *parsed) {
        array.push_back({{"server", entry.server},
                         {"version", entry.version},
                         {"loader", entry.loader},
                         {"loaderVersion", entry.loaderVersion},
                         {"address", entry.address}});
    }
    const auto again = tarnvex::parseCatalogue(array.dump());
    if (!again || again->size() != parsed->size()) {
        std::abort();
    }
    for (std::size_t i = 0; i < parsed->size(); ++i) {
        const auto& a = (*parsed)[i];
        const auto& b = (*again)[i];
        if (a.server != b.server || a.version != b.version || a.loader != b.loader ||
            a.loaderVersion != b.loaderVersion || a.address != b.address) {
            std::abort();
        }
    }
    return 0;
}
