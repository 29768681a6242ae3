#include "remote/selection.h"

#include "console/line_input.h"
#include "console/log.h"
#include "instance/instance_name.h"

namespace tarnvex {

namespace {

// The prompt takes its answer in eight bits.
constexpr std::size_t mostOffered = 255;

Result<void> writeMenu(BufferedWriter& out, const std::vector<MinecraftServerEntry>& catalogue) {
    std::string menu = "\nThese Minecraft server instances are avaliable on the server.\n"
                       "Pick one to add to your Prism installation.\n";
    for (std::size_t i = 0; i < catalogue.size(); ++i) {
        const MinecraftServerEntry& entry = catalogue[i];
        menu.append("[")
            .append(std::to_string(i + 1))
            .append("] Name: \"")
            .append(entry.server)
            .append("\", Minecraft ver: ")
            .append(entry.version)
            .append(", Mod loader: ")
            .append(entry.loader)
            .append("\n");
    }
    return out.write(menu);
}

Result<bool> instanceExists(const Directory& instances, const std::string& server,
                            NameResolves resolves) {
    bool found = false;
    auto scanned =
        instances.forEachEntry([&](std::string_view name) { found = found || name == server; });
    if (!scanned) {
        return std::unexpected(scanned.error());
    }
    if (found) {
        return true;
    }
    // A Mac's volume finds "lantern hollow" for "Lantern Hollow", and a decomposed "Café" for a
    // precomposed one: the directory the writers would open is there, so it must not be taken
    // for a new one and overwritten unasked.
    return resolves(instances, server);
}

} // namespace

Result<bool> nameResolvesOnDisk(const Directory& instances, const std::string& name) {
    return instances.resolves(name);
}

Result<Selection> selectServerInstance(const std::vector<MinecraftServerEntry>& catalogue,
                                       Directory instances, BufferedReader& in, BufferedWriter& out,
                                       NameResolves resolves) {
    if (catalogue.empty()) {
        logInfo("No available Minecraft instances on the server.");
        logInfo("Nothing to do.");
        return Selection{Selection::Outcome::NothingToDo, nullptr, std::move(instances)};
    }
    if (catalogue.size() > mostOffered) {
        logError("The catalogue lists " + std::to_string(catalogue.size()) +
                 " server instances; at most 255 can be offered.");
        return std::unexpected(Error::TooManyServerInstances);
    }
    for (;;) {
        if (auto shown = writeMenu(out, catalogue); !shown) {
            return std::unexpected(shown.error());
        }
        auto choice =
            inputNumberBetweenOneAnd(in, out, static_cast<std::uint8_t>(catalogue.size()));
        if (!choice) {
            return std::unexpected(choice.error());
        }
        const MinecraftServerEntry& entry = catalogue[*choice - 1];
        if (!isValidInstanceName(entry.server)) {
            logError("Server name \"" + entry.server +
                     "\" is not a valid instance directory name.");
            return std::unexpected(Error::InvalidInstanceName);
        }
        auto exists = instanceExists(instances, entry.server, resolves);
        if (!exists) {
            return std::unexpected(exists.error());
        }
        if (!*exists) {
            return Selection{Selection::Outcome::Chosen, &entry, std::move(instances)};
        }
        logWarning("Chosen Minecraft server instance \"" + entry.server + "\" already exists.");
        if (auto shown =
                out.write("[1] Back to server selection\n[2] Overwrite configuration of \"" +
                          entry.server + "\"\n[3] Quit\n");
            !shown) {
            return std::unexpected(shown.error());
        }
        auto option = inputNumberBetweenOneAnd(in, out, 3);
        if (!option) {
            return std::unexpected(option.error());
        }
        switch (*option) {
        case 1:
            continue;
        case 2:
            return Selection{Selection::Outcome::Overwrite, &entry, std::move(instances)};
        case 3:
            return Selection{Selection::Outcome::Quit, nullptr, std::move(instances)};
        default:
            logError("Unhandled option number.");
            return std::unexpected(Error::Failure);
        }
    }
}

} // namespace tarnvex
