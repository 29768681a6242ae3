#include "launcher/qt_ini.h"

#include "launcher/utf16_text.h"

#include <algorithm>
#include <cstddef>

namespace tarnvex {

namespace {

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
            if (!appendUtf8AsUtf16(raw.substr(i, stop - i), text)) {
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

QtIniValue otherValue() {
    return {QtIniValue::Kind::Other, {}};
}

// "@ByteArray(...)" holds Latin-1 code points that a reader takes back as UTF-8.
QtIniValue byteArrayValue(std::u16string_view latin1) {
    std::string bytes;
    for (const char16_t unit : latin1) {
        bytes.push_back(unit <= 0xff ? static_cast<char>(unit) : '?');
    }
    QtIniValue value{QtIniValue::Kind::Text, {}};
    return appendUtf8AsUtf16(bytes, value.text) ? value : otherValue();
}

} // namespace

std::optional<QtIniEntries> qtIniGeneralEntries(std::string_view data,
                                                std::initializer_list<std::string_view> keys) {
    if (data.starts_with(byteOrderMark)) {
        data.remove_prefix(byteOrderMark.size());
    }
    QtIniEntries entries;
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
        if (std::ranges::find(keys, key) != keys.end()) {
            entries.insert_or_assign(key, value);
        }
    }
}

QtIniValue qtIniValue(std::string_view raw) {
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
                return {QtIniValue::Kind::Text, std::u16string(text.substr(8, text.size() - 9))};
            }
            if (text == u"@Invalid()") {
                return {QtIniValue::Kind::Invalid, {}};
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
    return {QtIniValue::Kind::Text, std::u16string(text)};
}

} // namespace tarnvex
