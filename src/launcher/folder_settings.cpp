#include "launcher/folder_settings.h"

#include "launcher/qt_ini.h"
#include "launcher/utf16_text.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace tarnvex {

namespace {

constexpr std::string_view instanceDirKey = "InstanceDir";
constexpr std::string_view iconsDirKey = "IconsDir";
constexpr std::string_view configVersionKey = "ConfigVersion";
constexpr std::string_view byteOrderMark = "\xef\xbb\xbf";
constexpr std::size_t none = std::string_view::npos;

// No file name holds a NUL; a setting with one names no folder.
std::string fileName(std::string text) {
    if (text.find('\0') != none) {
        text.clear();
    }
    return text;
}

// The launcher's own quoting, which its 1.1 files and its older format hold: a value with ';',
// '=' or ',' inside a pair of quotes.
template <class Text> Text unquoted(Text text) {
    const bool special =
        std::ranges::any_of(text, [](auto c) { return c == ';' || c == '=' || c == ','; });
    if (special && text.starts_with('"') && text.ends_with('"')) {
        return text.substr(1, text.size() - 2);
    }
    return text;
}

std::string iniFolder(const QtIniEntries& entries, std::string_view key, bool launcherQuoted) {
    const auto raw = entries.find(key);
    if (raw == entries.end()) {
        return {};
    }
    const QtIniValue value = qtIniValue(raw->second);
    if (value.kind != QtIniValue::Kind::Text) {
        return {};
    }
    const std::u16string_view text = value.text;
    return fileName(utf16AsUtf8(launcherQuoted ? unquoted(text) : text).value_or(""));
}

// The white space QString::trimmed takes off: ASCII's and Unicode's separators.
constexpr std::array<std::string_view, 25> spaces = {
    "\xc2\x85",     "\xc2\xa0",     "\xe1\x9a\x80", "\xe2\x80\x80", "\xe2\x80\x81",
    "\xe2\x80\x82", "\xe2\x80\x83", "\xe2\x80\x84", "\xe2\x80\x85", "\xe2\x80\x86",
    "\xe2\x80\x87", "\xe2\x80\x88", "\xe2\x80\x89", "\xe2\x80\x8a", "\xe2\x80\xa8",
    "\xe2\x80\xa9", "\xe2\x80\xaf", "\xe2\x81\x9f", "\xe3\x80\x80", " ",
    "\t",           "\n",           "\v",           "\f",           "\r"};

std::string_view trimUnicode(std::string_view text) {
    for (bool trimmed = true; trimmed;) {
        trimmed = false;
        for (const std::string_view space : spaces) {
            if (text.starts_with(space)) {
                text.remove_prefix(space.size());
                trimmed = true;
            }
            if (text.ends_with(space)) {
                text.remove_suffix(space.size());
                trimmed = true;
            }
        }
    }
    return text;
}

std::string unescapedOldValue(std::string_view value) {
    std::string result;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\') {
            result.push_back(value[i]);
        } else if (i + 1 < value.size()) {
            const char escaped = value[++i];
            result.push_back(escaped == 'n' ? '\n' : escaped == 't' ? '\t' : escaped);
        }
    }
    return result;
}

// The launcher's format before it used Qt's: `key=value` lines, no sections, '#' comments.
FolderSettings oldFormatSettings(std::string_view data) {
    if (data.starts_with(byteOrderMark)) {
        data.remove_prefix(byteOrderMark.size());
    }
    FolderSettings settings;
    while (!data.empty()) {
        const std::size_t end = std::min(data.find('\n'), data.size());
        const std::string_view raw = data.substr(0, end);
        data.remove_prefix(std::min(end + 1, data.size()));
        // As the launcher does: an unescaped '#' past the first character makes a comment, which
        // is then cut at the first '#' of the line, escaped or not.
        std::string_view line = raw;
        for (std::size_t hash = raw.find('#', 1); hash != none; hash = raw.find('#', hash + 1)) {
            if (raw[hash - 1] != '\\') {
                line = trimUnicode(raw.substr(0, raw.find('#')));
                break;
            }
        }
        const std::size_t equals = line.find('=');
        if (equals == none) {
            continue;
        }
        const std::string_view key = trimUnicode(line.substr(0, equals));
        std::string* setting = key == instanceDirKey ? &settings.instanceDir
                               : key == iconsDirKey  ? &settings.iconsDir
                                                     : nullptr;
        if (setting != nullptr) {
            *setting = unquoted(unescapedOldValue(trimUnicode(line.substr(equals + 1))));
        }
    }
    // The launcher reads the file as UTF-8; a folder name that is not is no folder it can open.
    for (std::string* setting : {&settings.instanceDir, &settings.iconsDir}) {
        std::u16string text;
        *setting = appendUtf8AsUtf16(*setting, text) ? fileName(*setting) : "";
    }
    return settings;
}

} // namespace

FolderSettings parseFolderSettings(std::string_view configuration) {
    const auto entries =
        qtIniGeneralEntries(configuration, {configVersionKey, instanceDirKey, iconsDirKey});
    if (!entries) {
        return {};
    }
    const auto versionEntry = entries->find(configVersionKey);
    const QtIniValue version = versionEntry == entries->end()
                                   ? QtIniValue{QtIniValue::Kind::Invalid, {}}
                                   : qtIniValue(versionEntry->second);
    if (version.kind == QtIniValue::Kind::Invalid) {
        return oldFormatSettings(configuration);
    }
    // Files of ConfigVersion 1.1 kept the launcher's own quotes inside Qt's.
    const bool launcherQuoted = version.kind == QtIniValue::Kind::Text && version.text == u"1.1";
    return {iniFolder(*entries, instanceDirKey, launcherQuoted),
            iniFolder(*entries, iconsDirKey, launcherQuoted)};
}

} // namespace tarnvex
