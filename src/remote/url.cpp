#include "remote/url.h"

#include <algorithm>
#include <charconv>

namespace tarnvex {

namespace {

bool isAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool isUnreserved(char c) {
    return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_' || c == '~';
}
bool isSubDelimiter(char c) {
    return std::string_view("!$&'()*+,;=").find(c) != std::string_view::npos;
}
bool isUrlByte(char c) {
    return isUnreserved(c) || isSubDelimiter(c) || c == '%' ||
           std::string_view(":/?#[]@").find(c) != std::string_view::npos;
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

/// Each "%" starts two hex digits, and every other byte passes `allowed`.
template <typename Allowed> bool isEncodedText(std::string_view text, Allowed allowed) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%') {
            if (i + 2 >= text.size() || !isHexDigit(text[i + 1]) || !isHexDigit(text[i + 2])) {
                return false;
            }
            i += 2;
        } else if (!allowed(text[i])) {
            return false;
        }
    }
    return true;
}

bool isPathByte(char c) {
    return isUnreserved(c) || isSubDelimiter(c) || c == ':' || c == '@' || c == '/';
}
bool isQueryByte(char c) {
    return isPathByte(c) || c == '?';
}

Result<std::uint16_t> parsePort(std::string_view text) {
    if (text.empty()) {
        return std::uint16_t{443};
    }
    if (!std::ranges::all_of(text, isDigit)) {
        return std::unexpected(Error::InvalidFormat);
    }
    unsigned value = 0;
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (failure != std::errc() || end != text.data() + text.size() || value == 0 || value > 65535) {
        return std::unexpected(Error::InvalidFormat);
    }
    return static_cast<std::uint16_t>(value);
}

Result<void> parseAuthority(std::string_view authority, Url& url) {
    // Neither fixed URL carries credentials, and none should ever be compiled in.
    if (authority.find('@') != std::string_view::npos) {
        return std::unexpected(Error::InvalidFormat);
    }
    std::string_view host;
    std::string_view port;
    if (authority.starts_with('[')) {
        const auto close = authority.find(']');
        if (close == std::string_view::npos) {
            return std::unexpected(Error::InvalidFormat);
        }
        host = authority.substr(0, close + 1);
        const auto inside = host.substr(1, host.size() - 2);
        const bool literal = !inside.empty() && std::ranges::all_of(inside, [](char c) {
            return isHexDigit(c) || c == ':' || c == '.';
        });
        const auto rest = authority.substr(close + 1);
        if (!literal || (!rest.empty() && !rest.starts_with(':'))) {
            return std::unexpected(Error::InvalidFormat);
        }
        port = rest.empty() ? rest : rest.substr(1);
    } else {
        const auto colon = authority.find(':');
        host = authority.substr(0, colon);
        port = colon == std::string_view::npos ? std::string_view() : authority.substr(colon + 1);
        if (host.empty() ||
            !isEncodedText(host, [](char c) { return isUnreserved(c) || isSubDelimiter(c); })) {
            return std::unexpected(Error::InvalidFormat);
        }
    }
    auto portNumber = parsePort(port);
    if (!portNumber) {
        return std::unexpected(portNumber.error());
    }
    url.host = std::string(host);
    url.port = *portNumber;
    return {};
}

} // namespace

Result<Url> parseUrl(std::string_view text) {
    if (!std::ranges::all_of(text, isUrlByte)) {
        return std::unexpected(Error::UnexpectedCharacter);
    }
    const auto schemeEnd = text.find(':');
    const auto scheme = text.substr(0, schemeEnd);
    // Only https is ever right here: anything else would hand the executable to whoever is on
    // the path.
    if (schemeEnd == std::string_view::npos || scheme.size() != 5 ||
        !std::ranges::equal(scheme, std::string_view("https"),
                            [](char a, char b) { return lower(a) == b; }) ||
        !text.substr(schemeEnd + 1).starts_with("//")) {
        return std::unexpected(Error::InvalidFormat);
    }
    Url url;
    url.scheme = "https";

    std::string_view rest = text.substr(schemeEnd + 3);
    const auto authorityEnd = rest.find_first_of("/?#");
    if (auto parsed = parseAuthority(rest.substr(0, authorityEnd), url); !parsed) {
        return std::unexpected(parsed.error());
    }
    rest = authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);

    // The fragment is never sent; it only has to be well formed.
    const auto fragmentStart = rest.find('#');
    if (fragmentStart != std::string_view::npos) {
        if (!isEncodedText(rest.substr(fragmentStart + 1), isQueryByte)) {
            return std::unexpected(Error::InvalidFormat);
        }
        rest = rest.substr(0, fragmentStart);
    }
    const auto queryStart = rest.find('?');
    const auto path = rest.substr(0, queryStart);
    if (!isEncodedText(path, isPathByte)) {
        return std::unexpected(Error::InvalidFormat);
    }
    url.path = path.empty() ? "/" : std::string(path);
    if (queryStart != std::string_view::npos) {
        const auto query = rest.substr(queryStart + 1);
        if (!isEncodedText(query, isQueryByte)) {
            return std::unexpected(Error::InvalidFormat);
        }
        url.query = std::string(query);
    }
    return url;
}

} // namespace tarnvex
