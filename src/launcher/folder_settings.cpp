#include "launcher/folder_settings.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace tarnvex {

namespace {

constexpr std::string_view instanceDirKey = "InstanceDir";
constexpr std::string_view iconsDirKey = "IconsDir";
constexpr std::string_view configVersionKey = "ConfigVersion";
constexpr std::string_view byteOrderMark = "\xef\xbb\xbf";
constexpr std::size_t none = std::string_view::npos;

bool isAsciiSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

std::string_view trimAscii(std::string_view text) {
    while (!text.empty() && isAsciiSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isAsciiSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool equalsIgnoringAsciiCase(std::string_view text, std::string_view lowercase) {
    return std::ranges::equal(text, lowercase, [](char a, char b) {
        return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
    });
}

int digitValue(char c, int base) {
    int value = base;
    if (c >= '0' && c <= '9') {
        value = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        value = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        value = c - 'A' + 10;
    }
    return value < base ? value : -1;
}

// Appends `bytes` to `text` as UTF-16; false where they are not well-formed UTF-8.
bool appendUtf8(std::string_view bytes, std::u16string& text) {
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        std::size_t length = 1;
        char32_t point = lead;
        char32_t least = 0;
        if (lead >= 0xc2 && lead <= 0xdf) {
            length = 2;
            point = lead & 0x1fU;
            least = 0x80;
        } else if (lead >= 0xe0 && lead <= 0xef) {
            length = 3;
            point = lead & 0x0fU;
            least = 0x800;
        } else if (lead >= 0xf0 && lead <= 0xf4) {
            length = 4;
            point = lead & 0x07U;
            least = 0x10000;
        } else if (lead >= 0x80) {
            return false;
        }
        if (bytes.size() - i < length) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xc0U) != 0x80U) {
                return false;
            }
            point = point << 6U | (next & 0x3fU);
        }
        if (point < least || point > 0x10ffff || (point >= 0xd800 && point <= 0xdfff)) {
            return false;
        }
        if (point >= 0x10000) {
            point -= 0x10000;
            text.push_back(static_cast<char16_t>(0xd800 + (point >> 10U)));
            text.push_back(static_cast<char16_t>(0xdc00 + (point & 0x3ffU)));
        } else {
            text.push_back(static_cast<char16_t>(point));
        }
        i += length;
    }
    return true;
}

// A file name in UTF-8: none where the text holds a lone surrogate or a NUL, which no file name
// can.
std::optional<std::string> utf8FileName(std::u16string_view text) {
    std::string name;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t point = text[i];
        if (point >= 0xd800 && point <= 0xdbff && i + 1 < text.size() && text[i + 1] >= 0xdc00 &&
            text[i + 1] <= 0xdfff) {
            point = 0x10000 + ((point - 0xd800) << 10U) + (text[++i] - 0xdc00U);
        } else if (point == 0 || (point >= 0xd800 && point <= 0xdfff)) {
            return std::nullopt;
        }
        if (point < 0x80) {
            name.push_back(static_cast<char>(point));
        } else if (point < 0x800) {
            name.push_back(static_cast<char>(0xc0 | (point >> 6U)));
            name.push_back(static_cast<char>(0x80 | (point & 0x3fU)));
        } else if (point < 0x10000) {
            name.push_back(static_cast<char>(0xe0 | (point >> 12U)));
            name.push_back(static_cast<char>(0x80 | ((point >> 6U) & 0x3fU)));
            name.push_back(static_cast<char>(0x80 | (point & 0x3fU)));
        } else {
            name.push_back(static_cast<char>(0xf0 | (point >> 18U)));
            name.push_back(static_cast<char>(0x80 | ((point >> 12U) & 0x3fU)));
            name.push_back(static_cast<char>(0x80 | ((point >> 6U) & 0x3fU)));
            name.push_back(static_cast<char>(0x80 | (point & 0x3fU)));
        }
    }
    return name;
}

// One line as Qt's INI reader cuts them: it ends at a line break or a ';' outside quotes, a ';'
// that opens a line makes it a comment, and a backslash carries the next character along.
struct IniLine {
    std::string_view text;
    /// Where the first '=' outside quotes is, if any.
    std::size_t equals;
};

std::optional<IniLine> nextIniLine(std::string_view data, std::size_t& position) {
    const auto isBreak = [](char c) { return c == '\n' || c == '\r'; };
    const auto isSpace = [&](char c) { return c == ' ' || c == '\t' || isBreak(c); };
    std::size_t start = position;
    while (start < data.size() && isSpace(data[start])) {
        ++start;
    }
    std::size_t equals = none;
    bool inQuotes = false;
    std::size_t i = start;
    bool ended = false;
    while (i < data.size() && !ended) {
        const char c = data[i++];
        if (c == '=') {
            if (!inQuotes && equals == none) {
                equals = i - 1 - start;
            }
        } else if (isBreak(c)) {
            if (i == start + 1) {
                ++start;
            } else if (!inQuotes) {
                ended = true;
            }
        } else if (c == '\\') {
            if (i < data.size()) {
                const char escaped = data[i++];
                // CR LF and LF CR each end a line as one.
                if (i < data.size() && isBreak(escaped) && isBreak(data[i]) && data[i] != escaped) {
                    ++i;
                }
            }
        } else if (c == '"') {
            inQuotes = !inQuotes;
        } else if (c == ';') {
            if (i == start + 1) {
                while (i < data.size() && !isBreak(data[i])) {
                    ++i;
                }
                while (i < data.size() && isSpace(data[i])) {
                    ++i;
                }
                start = i;
            } else if (!inQuotes) {
                ended = true;
            }
        }
    }
    if (ended) {
        --i; // the break or ';' starts what follows
    }
    position = i;
    if (i == start) {
        return std::nullopt;
    }
    return IniLine{data.substr(start, i - start), equals};
}

// A key as Qt unescapes it: '\' is '/', %XX and %UXXXX are code points. Only ASCII keys are
// looked for, so any other code point becomes a byte no such key holds.
std::string unescapedIniKey(std::string_view key) {
    std::string result;
    for (std::size_t i = 0; i < key.size();) {
        const char c = key[i];
        if (c == '\\') {
            result.push_back('/');
            ++i;
            continue;
        }
        const std::size_t digits = i + 1 < key.size() && key[i + 1] == 'U' ? 4 : 2;
        const std::size_t first = i + 1 + (digits == 4 ? 1 : 0);
        const bool escape = c == '%' && first + digits <= key.size() &&
                            std::ranges::all_of(key.substr(first, digits),
                                                [](char d) { return digitValue(d, 16) >= 0; });
        if (!escape) {
            result.push_back(c);
            ++i;
            continue;
        }
        unsigned point = 0;
        for (const char d : key.substr(first, digits)) {
            point = point * 16 + static_cast<unsigned>(digitValue(d, 16));
        }
        result.push_back(point < 0x80 ? static_cast<char>(point) : '\x80');
        i = first + digits;
    }
    return result;
}

// A value's text as Qt unescapes it, or that it is a list or not well-formed.
struct IniText {
    bool list = false;
    bool wellFormed = true;
    std::u16string text;
};

std::optional<char16_t> simpleEscape(char c) {
    switch (c) {
    case 'a':
        return u'\a';
    case 'b':
        return u'\b';
    case 'f':
        return u'\f';
    case 'n':
        return u'\n';
    case 'r':
        return u'\r';
    case 't':
        return u'\t';
    case 'v':
        return u'\v';
    case '"':
    case '?':
    case '\'':
    case '\\':
        return static_cast<char16_t>(c);
    default:
        return std::nullopt;
    }
}

IniText unescapedIniText(std::string_view raw) {
    IniText value;
    std::u16string& text = value.text;
    bool inQuotes = false;
    bool quoted = false;
    std::size_t i = 0;
    // Blanks from here on are cut at the end of an unquoted value; escaped ones never are.
    std::size_t chopLimit = 0;
    const auto skipBlanks = [&] {
        while (i < raw.size() && (raw[i] == ' ' || raw[i] == '\t')) {
            ++i;
        }
        chopLimit = text.size();
    };
    // Digits after an escape make one UTF-16 unit, wrapping at 16 bits as Qt's does.
    const auto readNumber = [&](unsigned start, int base) {
        unsigned unit = start;
        while (i < raw.size() && digitValue(raw[i], base) >= 0) {
            const auto digit = static_cast<unsigned>(digitValue(raw[i++], base));
            unit = (unit * static_cast<unsigned>(base) + digit) & 0xffffU;
        }
        text.push_back(static_cast<char16_t>(unit));
    };
    skipBlanks();
    while (i < raw.size()) {
        const char c = raw[i];
        if (c == '\\') {
            if (++i == raw.size()) {
                return value; // Qt stops here, blanks kept
            }
            const char escaped = raw[i++];
            if (const auto simple = simpleEscape(escaped)) {
                text.push_back(*simple);
            } else if (escaped == 'x') {
                if (i == raw.size()) {
                    return value;
                }
                if (digitValue(raw[i], 16) >= 0) {
                    readNumber(0, 16);
                }
            } else if (const int octal = digitValue(escaped, 8); octal >= 0) {
                readNumber(static_cast<unsigned>(octal), 8);
            } else if ((escaped == '\n' || escaped == '\r') && i < raw.size() &&
                       (raw[i] == '\n' || raw[i] == '\r') && raw[i] != escaped) {
                ++i; // a line continued; any other escaped character is dropped
            }
            chopLimit = text.size();
        } else if (c == '"') {
            ++i;
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes) {
                skipBlanks();
            }
        } else if (c == ',' && !inQuotes) {
            value.list = true;
            return value;
        } else {
            const std::size_t end = raw.find_first_of("\\\",", i + 1);
            const std::size_t stop = end == none ? raw.size() : end;
            if (!appendUtf8(raw.substr(i, stop - i), text)) {
                value.wellFormed = false;
                return value;
            }
            i = stop;
        }
    }
    if (!quoted) {
        while (text.size() > chopLimit && (text.back() == u' ' || text.back() == u'\t')) {
            text.pop_back();
        }
    }
    return value;
}

// What QSettings makes of a value, as far as a folder setting goes.
struct IniValue {
    enum class Kind : std::uint8_t { Text, Invalid, Other };
    Kind kind;
    std::u16string text;
};

IniValue otherValue() {
    return {IniValue::Kind::Other, {}};
}

// "@ByteArray(...)" holds Latin-1 code points that the launcher reads back as UTF-8.
IniValue byteArrayValue(std::u16string_view latin1) {
    std::string bytes;
    for (const char16_t unit : latin1) {
        bytes.push_back(unit <= 0xff ? static_cast<char>(unit) : '?');
    }
    IniValue value{IniValue::Kind::Text, {}};
    return appendUtf8(bytes, value.text) ? value : otherValue();
}

IniValue iniValue(std::string_view raw) {
    IniText unescaped = unescapedIniText(raw);
    if (unescaped.list || !unescaped.wellFormed) {
        return otherValue();
    }
    std::u16string_view text = unescaped.text;
    if (text.starts_with(u'@')) {
        if (text.ends_with(u')')) {
            if (text.starts_with(u"@ByteArray(")) {
                return byteArrayValue(text.substr(11, text.size() - 12));
            }
            if (text.starts_with(u"@String(")) {
                return {IniValue::Kind::Text, std::u16string(text.substr(8, text.size() - 9))};
            }
            if (text == u"@Invalid()") {
                return {IniValue::Kind::Invalid, {}};
            }
            if (text.starts_with(u"@Variant(") || text.starts_with(u"@DateTime(")) {
                return otherValue();
            }
            // Geometry, where the arguments count right; otherwise the text stands.
            const auto arguments = 1 + std::ranges::count(text, u' ');
            if ((text.starts_with(u"@Rect(") && arguments == 4) ||
                ((text.starts_with(u"@Size(") || text.starts_with(u"@Point(")) && arguments == 2)) {
                return otherValue();
            }
        }
        if (text.starts_with(u"@@")) {
            text.remove_prefix(1);
        }
    }
    return {IniValue::Kind::Text, std::u16string(text)};
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

struct IniEntries {
    std::optional<std::string_view> configVersion;
    std::optional<std::string_view> instanceDir;
    std::optional<std::string_view> iconsDir;
};

// The three keys' raw values in [General], the last of each winning as with Qt; none where Qt
// reports the file malformed (a section header without its ']').
std::optional<IniEntries> generalEntries(std::string_view data) {
    if (data.starts_with(byteOrderMark)) {
        data.remove_prefix(byteOrderMark.size());
    }
    IniEntries entries;
    bool inGeneral = true;
    std::size_t position = 0;
    for (;;) {
        const auto next = nextIniLine(data, position);
        if (!next) {
            return entries;
        }
        const IniLine& line = *next;
        if (line.text.starts_with('[')) {
            const std::size_t close = line.text.find(']');
            if (close == none) {
                return std::nullopt;
            }
            inGeneral =
                equalsIgnoringAsciiCase(trimAscii(line.text.substr(1, close - 1)), "general");
            continue;
        }
        if (!inGeneral || line.equals == none) {
            continue;
        }
        const std::string key = unescapedIniKey(trimAscii(line.text.substr(0, line.equals)));
        const std::string_view value = line.text.substr(line.equals + 1);
        if (key == configVersionKey) {
            entries.configVersion = value;
        } else if (key == instanceDirKey) {
            entries.instanceDir = value;
        } else if (key == iconsDirKey) {
            entries.iconsDir = value;
        }
    }
}

std::string iniFolder(std::optional<std::string_view> raw, bool launcherQuoted) {
    if (!raw) {
        return {};
    }
    const IniValue value = iniValue(*raw);
    if (value.kind != IniValue::Kind::Text) {
        return {};
    }
    const std::u16string_view text = value.text;
    return utf8FileName(launcherQuoted ? unquoted(text) : text).value_or("");
}

// The white space QString::trimmed takes off: ASCII's and Unicode's separators.
constexpr std::array<std::string_view, 19> unicodeSpaces = {
    "\xc2\x85",     "\xc2\xa0",     "\xe1\x9a\x80", "\xe2\x80\x80", "\xe2\x80\x81",
    "\xe2\x80\x82", "\xe2\x80\x83", "\xe2\x80\x84", "\xe2\x80\x85", "\xe2\x80\x86",
    "\xe2\x80\x87", "\xe2\x80\x88", "\xe2\x80\x89", "\xe2\x80\x8a", "\xe2\x80\xa8",
    "\xe2\x80\xa9", "\xe2\x80\xaf", "\xe2\x81\x9f", "\xe3\x80\x80"};

std::string_view trimUnicode(std::string_view text) {
    for (bool trimmed = true; trimmed;) {
        text = trimAscii(text);
        trimmed = false;
        for (const std::string_view space : unicodeSpaces) {
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
        if (!appendUtf8(*setting, text) || setting->find('\0') != none) {
            setting->clear();
        }
    }
    return settings;
}

} // namespace

FolderSettings parseFolderSettings(std::string_view configuration) {
    const auto entries = generalEntries(configuration);
    if (!entries) {
        return {};
    }
    const auto version = entries->configVersion ? iniValue(*entries->configVersion)
                                                : IniValue{IniValue::Kind::Invalid, {}};
    if (version.kind == IniValue::Kind::Invalid) {
        return oldFormatSettings(configuration);
    }
    // Files of ConfigVersion 1.1 kept the launcher's own quotes inside Qt's.
    const bool launcherQuoted = version.kind == IniValue::Kind::Text && version.text == u"1.1";
    return {iniFolder(entries->instanceDir, launcherQuoted),
            iniFolder(entries->iconsDir, launcherQuoted)};
}

} // namespace tarnvex
