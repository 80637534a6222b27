#include "names/NameText.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "names/CodePage.h"
#include "names/Unicode.h"
#include "table/uCZ2Ascii.h"

namespace tovana {
namespace {

bool IsContinuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

// Length of the valid UTF-8 sequence at the start of s, or 0 when it is not one. Overlong forms,
// surrogates and code points past U+10FFFF are not valid.
std::size_t ValidSequenceLength(std::string_view s, char32_t& out) {
    const auto b0 = static_cast<unsigned char>(s[0]);
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    if (b0 < 0x80) {
        out = b0;
        return 1;
    }
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        if (s.size() < 2 || !IsContinuation(at(1))) {
            return 0;
        }
        out = (char32_t(b0 & 0x1F) << 6) | (at(1) & 0x3F);
        return 2;
    }
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        if (s.size() < 3 || !IsContinuation(at(1)) || !IsContinuation(at(2))) {
            return 0;
        }
        if ((b0 == 0xE0 && at(1) < 0xA0) || (b0 == 0xED && at(1) > 0x9F)) {
            return 0;
        }
        out = (char32_t(b0 & 0x0F) << 12) | (char32_t(at(1) & 0x3F) << 6) | (at(2) & 0x3F);
        return 3;
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
        if (s.size() < 4 || !IsContinuation(at(1)) || !IsContinuation(at(2)) ||
            !IsContinuation(at(3))) {
            return 0;
        }
        if ((b0 == 0xF0 && at(1) < 0x90) || (b0 == 0xF4 && at(1) > 0x8F)) {
            return 0;
        }
        out = (char32_t(b0 & 0x07) << 18) | (char32_t(at(1) & 0x3F) << 12) |
              (char32_t(at(2) & 0x3F) << 6) | (at(3) & 0x3F);
        return 4;
    }
    return 0;
}

// The one Windows-1250 character that base + marks composes to, or 0.
char32_t ComposedCp1250(const char32_t* cluster, std::size_t length) {
    const std::u32string composed = unicode::Composed(std::u32string(cluster, length));
    if (composed.size() != 1 || UnicodeToCp1250(composed[0]) < 0) {
        return 0;
    }
    return composed[0];
}

// Byte services applied to a character the code page holds; others go to `other`.
template <typename ByteService, typename OtherService>
char32_t ThroughCodePage(char32_t c, ByteService byteService, OtherService other) {
    if (IsRawByte(c)) {
        return c;
    }
    const int b = UnicodeToCp1250(c);
    if (b >= 0) {
        return Cp1250ToUnicode(byteService(static_cast<unsigned char>(b)));
    }
    return other(c);
}

}  // namespace

char* PutUtf8(char* out, char32_t c) {
    if (IsRawByte(c)) {
        *out++ = static_cast<char>(c - kRawByteBase);
    } else if (c < 0x80) {
        *out++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *out++ = static_cast<char>(0xC0 | (c >> 6));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (c >> 12));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (c >> 18));
        *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

bool IsCombiningMark(char32_t c) {
    return c >= 0x300 && unicode::ClassOf(c) == unicode::CharClass::Mark;
}

NameChars DecodeName(std::string_view utf8) {
    NameChars chars = DecodeCodePoints(utf8);
    ComposeClusters(chars);
    return chars;
}

bool IsValidUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t i = 0; i < bytes.size();) {
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        // Two bytes, as most letters of names are: looked at here.
        if (p[i] >= 0xC2 && p[i] <= 0xDF && i + 1 < bytes.size() && IsContinuation(p[i + 1])) {
            i += 2;
            continue;
        }
        char32_t c = 0;
        const std::size_t length = ValidSequenceLength(bytes.substr(i), c);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

NameChars DecodeCodePoints(std::string_view utf8) {
    // A byte gives at most one character: written in place, then cut to what was written.
    NameChars chars(utf8.size(), U'\0');
    std::size_t out = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        if (static_cast<unsigned char>(utf8[i]) < 0x80) {
            chars[out++] = static_cast<char32_t>(utf8[i++]);
            continue;
        }
        char32_t c = 0;
        const std::size_t length = ValidSequenceLength(utf8.substr(i), c);
        if (length == 0) {
            chars[out++] = kRawByteBase + static_cast<unsigned char>(utf8[i]);
            ++i;
        } else {
            chars[out++] = c;
            i += length;
        }
    }
    chars.resize(out);
    return chars;
}

bool ComposeClusters(NameChars& chars) {
    // Most names hold no combining mark at all: then nothing composes and nothing moves.
    if (std::none_of(chars.begin(), chars.end(),
                     [](char32_t c) { return !IsRawByte(c) && IsCombiningMark(c); })) {
        return false;
    }
    bool composedAny = false;
    std::size_t out = 0;
    for (std::size_t i = 0; i < chars.size();) {
        std::size_t end = i + 1;
        if (!IsRawByte(chars[i]) && !IsCombiningMark(chars[i])) {
            while (end < chars.size() && !IsRawByte(chars[end]) && IsCombiningMark(chars[end])) {
                ++end;
            }
        }
        if (end - i > 1) {
            if (const char32_t composed = ComposedCp1250(chars.data() + i, end - i)) {
                chars[out++] = composed;
                composedAny = true;
                i = end;
                continue;
            }
        }
        while (i < end) {
            chars[out++] = chars[i++];
        }
    }
    chars.resize(out);
    return composedAny;
}

void AppendUtf8(std::string& out, char32_t c) {
    char bytes[4];
    out.append(bytes, PutUtf8(bytes, c));
}

std::string EncodeName(const NameChars& chars) {
    // Written in place into room for the longest form, then cut to what was written: no
    // growing, no check per byte.
    std::string out(chars.size() * 4, '\0');
    char* end = out.data();
    for (char32_t c : chars) {
        end = PutUtf8(end, c);
    }
    out.resize(static_cast<std::size_t>(end - out.data()));
    return out;
}

char32_t StripDiacritics(char32_t c) {
    if (c < 0x80 || IsRawByte(c)) {
        return c;
    }
    return ThroughCodePage(c, CZ2AsciiByte, [](char32_t other) { return other; });
}

char32_t UpperChar(char32_t c) {
    if (c < 0x80) {
        return (c >= 'a' && c <= 'z') ? c - 0x20 : c;
    }
    return ThroughCodePage(c, CharUpper1250, unicode::SimpleUpper);
}

char32_t LowerChar(char32_t c) {
    if (c < 0x80) {
        return (c >= 'A' && c <= 'Z') ? c + 0x20 : c;
    }
    return ThroughCodePage(c, CharLower1250, unicode::SimpleLower);
}

bool IsAlphaNumericChar(char32_t c) {
    if (c < 0x80) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    }
    if (IsRawByte(c)) {
        return true;
    }
    const int b = UnicodeToCp1250(c);
    if (b >= 0) {
        return IsCharAlphaNumeric1250(static_cast<unsigned char>(b));
    }
    return unicode::ClassOf(c) != unicode::CharClass::Other;
}

std::string UpperText(std::string_view utf8) {
    NameChars chars = DecodeName(utf8);
    for (char32_t& c : chars) {
        c = UpperChar(c);
    }
    return EncodeName(chars);
}

}  // namespace tovana
