#pragma once

#include <string>
#include <string_view>

namespace tarnvex::test {

// Files as the launcher reads them, written out by hand.

/// instance.cfg with `nameLine` ("name=...") as its name line.
inline std::string instanceCfgWith(std::string_view nameLine) {
    return "[General]\n"
           "ConfigVersion=1.2\n"
           "iconKey=default\n"
           "iconKey=icon_velkorhub\n" +
           std::string(nameLine) +
           "\n"
           "InstanceType=OneSix\n"
           "OverrideCommands=true\n"
           "PreLaunchCommand=\\\"$INST_DIR/tarnvex_client-aarch64-macos\\\"\n"
           "WrapperCommand=\n"
           "PostExitCommand=\n";
}

/// mmc-pack.json for Forge 52.0.16 on Minecraft 1.21.1.
inline constexpr std::string_view forgeMmcPack = R"({
   "formatVersion": 1,
   "components": [
      {
         "cachedName": "LWJGL 3",
         "cachedVersion": "3.3.3",
         "cachedVolatile": true,
         "dependencyOnly": true,
         "important": null,
         "version": "3.3.3",
         "uid": "org.lwjgl3",
         "cachedRequires": [
            {
               "suggests": null,
               "equals": null,
               "uid": ""
            }
         ]
      },
      {
         "cachedName": "Minecraft",
         "cachedVersion": "1.21.1",
         "cachedVolatile": null,
         "dependencyOnly": null,
         "important": true,
         "version": "1.21.1",
         "uid": "net.minecraft",
         "cachedRequires": [
            {
               "suggests": "3.3.3",
               "equals": null,
               "uid": "org.lwjgl3"
            }
         ]
      },
      {
         "cachedName": "Forge",
         "cachedVersion": "52.0.16",
         "cachedVolatile": null,
         "dependencyOnly": null,
         "important": null,
         "version": "52.0.16",
         "uid": "net.minecraftforge",
         "cachedRequires": [
            {
               "suggests": null,
               "equals": "1.21.1",
               "uid": "net.minecraft"
            }
         ]
      }
   ]
})";

} // namespace tarnvex::test
