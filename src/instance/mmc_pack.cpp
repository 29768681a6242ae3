#include "instance/mmc_pack.h"

#include "console/log.h"
#include "console/number_parse.h"
#include "platform/atomic_file.h"

#include <new>
#include <nlohmann/json.hpp>

namespace tarnvex {

namespace {

using Json = nlohmann::ordered_json;

// The first game version that needs the newer LWJGL.
constexpr std::uint8_t newerLwjglFromMajor = 21;

Json requirement(Json suggests, Json equals, std::string_view uid) {
    Json object = Json::object();
    object["suggests"] = std::move(suggests);
    object["equals"] = std::move(equals);
    object["uid"] = uid;
    return object;
}

Json component(std::string_view name, const std::string& version, Json cachedVolatile,
               Json dependencyOnly, Json important, std::string_view uid, Json required) {
    Json object = Json::object();
    object["cachedName"] = name;
    object["cachedVersion"] = version;
    object["cachedVolatile"] = std::move(cachedVolatile);
    object["dependencyOnly"] = std::move(dependencyOnly);
    object["important"] = std::move(important);
    object["version"] = version;
    object["uid"] = uid;
    object["cachedRequires"] = Json::array({std::move(required)});
    return object;
}

Json packDocument(const MinecraftServerEntry& entry, const std::string& lwjgl) {
    const Json null = nullptr;
    const std::string& minecraft = entry.version;
    Json components = Json::array();
    components.push_back(
        component("LWJGL 3", lwjgl, true, true, null, "org.lwjgl3", requirement(null, null, "")));
    components.push_back(component("Minecraft", minecraft, null, null, true, "net.minecraft",
                                   requirement(lwjgl, null, "org.lwjgl3")));
    if (entry.loader == "fabric") {
        components.push_back(component("Intermediary Mappings", minecraft, true, true, null,
                                       "net.fabricmc.intermediary",
                                       requirement(null, minecraft, "net.minecraft")));
        components.push_back(component("Fabric Loader", entry.loaderVersion, null, null, null,
                                       "net.fabricmc.fabric-loader",
                                       requirement(null, null, "net.fabricmc.intermediary")));
    } else {
        components.push_back(component("Forge", entry.loaderVersion, null, null, null,
                                       "net.minecraftforge",
                                       requirement(null, minecraft, "net.minecraft")));
    }
    Json document = Json::object();
    document["formatVersion"] = 1;
    document["components"] = std::move(components);
    return document;
}

} // namespace

Result<std::uint8_t> versionExtractMajor(std::string_view version) {
    const std::size_t firstDot = version.find('.');
    if (firstDot == std::string_view::npos) {
        return std::unexpected(Error::InvalidCharacter);
    }
    std::string_view field = version.substr(firstDot + 1);
    field = field.substr(0, field.find('.'));
    const SmallNumber number = parseSmallNumber(field);
    switch (number.kind) {
    case SmallNumber::Kind::Number:
        return number.value;
    case SmallNumber::Kind::TooLarge:
        return std::unexpected(Error::Overflow);
    case SmallNumber::Kind::NotANumber:
        break;
    }
    return std::unexpected(Error::InvalidCharacter);
}

Result<std::string> mmcPackText(const MinecraftServerEntry& entry) {
    if (entry.loader != "fabric" && entry.loader != "forge") {
        logError("Mod loader " + entry.loader + " not supported.");
        return std::unexpected(Error::InvalidModLoader);
    }
    auto major = versionExtractMajor(entry.version);
    if (!major) {
        return std::unexpected(major.error());
    }
    const std::string lwjgl = *major < newerLwjglFromMajor ? "3.3.1" : "3.3.3";
    try {
        return packDocument(entry, lwjgl).dump(3);
    } catch (const nlohmann::json::exception&) {
        // Only text that is not UTF-8 fails to serialise; the catalogue's parser admits none.
        return std::unexpected(Error::InvalidCharacter);
    } catch (const std::bad_alloc&) {
        return std::unexpected(Error::OutOfMemory);
    }
}

Result<void> writeMmcPack(const Directory& instanceDirectory, const MinecraftServerEntry& entry,
                          DirectorySyncs& touched) {
    logInfo("Writing mmc-pack.json");
    auto text = mmcPackText(entry);
    if (!text) {
        return std::unexpected(text.error());
    }
    return replaceFile(instanceDirectory, "mmc-pack.json", *text, touched);
}

} // namespace tarnvex
