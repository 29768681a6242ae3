#include "launcher/utf16_text.h"

#include <cstddef>

namespace tarnvex {

bool appendUtf8AsUtf16(std::string_view bytes, std::u16string& text) {
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

std::optional<std::string> utf16AsUtf8(std::u16string_view text) {
    std::string name;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t point = text[i];
        if (point >= 0xd800 && point <= 0xdbff && i + 1 < text.size() && text[i + 1] >= 0xdc00 &&
            text[i + 1] <= 0xdfff) {
            point = 0x10000 + ((point - 0xd800) << 10U) + (text[++i] - 0xdc00U);
        } else if (point >= 0xd800 && point <= 0xdfff) {
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

} // namespace tarnvex
