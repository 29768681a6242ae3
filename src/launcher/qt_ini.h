#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tarnvex {

/// What QSettings makes of a value in an INI file, as far as a reader of text goes.
struct QtIniValue {
    enum class Kind : std::uint8_t {
        /// A string: `text`.
        Text,
        /// "@Invalid()", which QSettings reads as no value at all.
        Invalid,
        /// A list, a value of another type, or text that is not well-formed UTF-8.
        Other,
    };
    Kind kind;
    std::u16string text;
};

using QtIniEntries = std::map<std::string, std::string_view, std::less<>>;

/// The raw values of `keys` in the [General] section of the INI `data` (keys before any section
/// count as [General]), as Qt cuts lines, comments and sections and unescapes keys; where a key
/// comes more than once, the last wins, as with Qt. None where Qt reports the file malformed: a
/// section header without its ']'.
std::optional<QtIniEntries> qtIniGeneralEntries(std::string_view data,
                                                std::initializer_list<std::string_view> keys);

/// A raw value as QSettings reads it: quotes, escapes (\x with any number of hex digits, octal,
/// C's), blanks cut outside quotes, an unquoted ',' making a list, and the "@" forms.
QtIniValue qtIniValue(std::string_view raw);

} // namespace tarnvex
