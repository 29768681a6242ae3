#include "instance/instance_cfg.h"

#include "console/log.h"
#include "instance/icon.h"
#include "platform/atomic_file.h"

namespace tarnvex {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Unquoted, the reader splits at a comma, ends at a semicolon, drops double quotes, takes a
// backslash as an escape and trims blanks at both ends.
bool needsQuotes(std::string_view name) {
    if (!name.empty() && (isBlank(name.front()) || isBlank(name.back()))) {
        return true;
    }
    return name.find_first_of("\"\\,;") != std::string_view::npos;
}

void appendName(std::string& out, std::string_view name) {
    if (!needsQuotes(name)) {
        out.append(name);
        return;
    }
    out.push_back('"');
    for (const char c : name) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
        }
        out.push_back(c);
    }
    out.push_back('"');
}

} // namespace

std::string instanceCfgText(std::string_view name) {
    std::string text = "[General]\n"
                       "ConfigVersion=1.2\n"
                       "iconKey=default\n"
                       "iconKey=";
    text.append(iconKey).append("\n"
                                "name=");
    appendName(text, name);
    text.append("\n"
                "InstanceType=OneSix\n"
                "OverrideCommands=true\n"
                // The launcher takes the escaped quotes out, leaving the path quoted.
                "PreLaunchCommand=\\\"$INST_DIR/");
    text.append(syncClientFileName);
    text.append("\\\"\n"
                "WrapperCommand=\n"
                "PostExitCommand=\n");
    return text;
}

Result<void> writeInstanceCfg(const Directory& instanceDirectory, std::string_view name,
                              DirectorySyncs& touched) {
    logInfo("Writing instance.cfg");
    return replaceFile(instanceDirectory, "instance.cfg", instanceCfgText(name), touched);
}

} // namespace tarnvex
