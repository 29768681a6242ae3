#include "instance/servers_dat.h"

#include "console/log.h"
#include "instance/make_open_dir.h"
#include "platform/atomic_file.h"

#include <string>

namespace tarnvex {

namespace {

constexpr char tagEnd = 0x00;
constexpr char tagByte = 0x01;
constexpr char tagString = 0x08;
constexpr char tagList = 0x09;
constexpr char tagCompound = 0x0A;

// NBT numbers are big-endian.
void appendLength(std::string& out, std::size_t length) {
    out.push_back(static_cast<char>((length >> 8) & 0xFF));
    out.push_back(static_cast<char>(length & 0xFF));
}

void appendName(std::string& out, std::string_view name) {
    appendLength(out, name.size());
    out.append(name);
}

} // namespace

std::string serversDatBytes(std::string_view address) {
    std::string out;
    out.reserve(62 + address.size());
    out.push_back(tagCompound);
    appendName(out, "");
    out.push_back(tagList);
    appendName(out, "servers");
    out.push_back(tagCompound);
    out.append({0x00, 0x00, 0x00, 0x01}); // one element
    out.push_back(tagByte);
    appendName(out, "hidden");
    out.push_back(0x00);
    out.push_back(tagString);
    appendName(out, "ip");
    appendName(out, address);
    out.push_back(tagString);
    appendName(out, "name");
    appendName(out, "The Gable Fields");
    out.push_back(tagEnd); // the list element
    out.push_back(tagEnd); // the root
    return out;
}

Result<void> writeServersDat(const Directory& instanceDirectory, std::string_view address,
                             DirectorySyncs& touched) {
    auto minecraft = makeOpenDir(instanceDirectory, minecraftFolderName, touched);
    if (!minecraft) {
        return std::unexpected(minecraft.error());
    }
    logInfo("Writing minecraft/servers.dat");
    if (address.size() > maxServerAddressBytes) {
        logError("Server address is " + std::to_string(address.size()) + " bytes long; at most " +
                 std::to_string(maxServerAddressBytes) + " fit in the server list.");
        return std::unexpected(Error::ServerAddressTooLong);
    }
    return replaceFile(*minecraft, "servers.dat", serversDatBytes(address), touched);
}

} // namespace tarnvex
