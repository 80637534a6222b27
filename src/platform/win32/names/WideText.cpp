#include "names/WideText.h"

#include "names/NameText.h"

namespace tovana {

// Surrogate pairs make one character; a lone surrogate stays as the unit it is.
std::string Utf8FromWide(std::wstring_view wide) {
    NameChars chars;
    chars.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t c = static_cast<char16_t>(wide[i]);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < wide.size()) {
            const char32_t low = static_cast<char16_t>(wide[i + 1]);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        chars += c;
    }
    return EncodeName(chars);
}

std::wstring WideFromUtf8(std::string_view utf8) {
    std::wstring out;
    out.reserve(utf8.size());
    const auto at = [&utf8](std::size_t i) { return static_cast<unsigned char>(utf8[i]); };
    const auto continuation = [&](std::size_t i) {
        return i < utf8.size() && (at(i) & 0xC0) == 0x80;
    };
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char b = at(i);
        char32_t c = 0xFFFD;
        std::size_t length = 1;
        if (b < 0x80) {
            c = b;
        } else if (b >= 0xC2 && b < 0xE0 && continuation(i + 1)) {
            c = (char32_t(b & 0x1F) << 6) | (at(i + 1) & 0x3F);
            length = 2;
        } else if (b >= 0xE0 && b < 0xF0 && continuation(i + 1) && continuation(i + 2)) {
            c = (char32_t(b & 0x0F) << 12) | (char32_t(at(i + 1) & 0x3F) << 6) | (at(i + 2) & 0x3F);
            length = c >= 0x800 ? 3 : 1;
        } else if (b >= 0xF0 && b < 0xF5 && continuation(i + 1) && continuation(i + 2) &&
                   continuation(i + 3)) {
            c = (char32_t(b & 0x07) << 18) | (char32_t(at(i + 1) & 0x3F) << 12) |
                (char32_t(at(i + 2) & 0x3F) << 6) | (at(i + 3) & 0x3F);
            length = c >= 0x10000 && c < 0x110000 ? 4 : 1;
        }
        if (length == 1 && b >= 0x80) {
            c = 0xFFFD;
        }
        i += length;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (c >> 10));
            out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<wchar_t>(c);
        }
    }
    return out;
}

}  // namespace tovana
