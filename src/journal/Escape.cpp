#include "journal/Escape.h"

#include <cstdint>
#include <cstring>

#include "names/NameText.h"
#include "names/PlainText.h"

namespace tovana {
namespace {

using plain::kBlock;
using plain::PlainBlock;
using plain::PlainTail;

constexpr char kHex[] = "0123456789ABCDEF";

// The length of the well-formed UTF-8 sequence starting at text[i] (a byte above 0x7F), or 0
// when none starts there (no overlong forms, no surrogates, nothing above U+10FFFF).
std::size_t Utf8Length(std::string_view text, std::size_t i) {
    const auto at = [&](std::size_t k) {
        return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0u;
    };
    const unsigned lead = at(0);
    const auto continuation = [](unsigned b, unsigned low = 0x80, unsigned high = 0xBF) {
        return b >= low && b <= high;
    };
    if (lead >= 0xC2 && lead <= 0xDF) {
        return continuation(at(1)) ? 2 : 0;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        const unsigned low = lead == 0xE0 ? 0xA0 : 0x80;
        const unsigned high = lead == 0xED ? 0x9F : 0xBF;
        return continuation(at(1), low, high) && continuation(at(2)) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned low = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned high = lead == 0xF4 ? 0x8F : 0xBF;
        return continuation(at(1), low, high) && continuation(at(2)) && continuation(at(3)) ? 4 : 0;
    }
    return 0;
}

// How many bytes from text[i] on are escaped one by one as \xHH (0 for none): a C1 control
// character (U+0080-U+009F, two bytes in UTF-8; terminals may take U+009B for the start of a
// control sequence) or a byte 0x80-0x9F outside valid UTF-8, which some terminals read as
// the same C1 character. `plain` is set to how many bytes stay as they are otherwise.
std::size_t HighBytesToEscape(std::string_view text, std::size_t i, std::size_t& plain) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const std::size_t length = Utf8Length(text, i);
    if (length == 2 && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
        return 2;
    }
    if (length == 0 && byte <= 0x9F) {
        return 1;
    }
    plain = length == 0 ? 1 : length;
    return 0;
}

// Where escaped text goes: a string, or a buffer with room enough (Room).
struct Room {
    char* at;
    void append(const char* p, std::size_t n) {
        if (n != 0) {
            std::memcpy(at, p, n);
            at += n;
        }
    }
    Room& operator+=(char c) {
        *at++ = c;
        return *this;
    }
    template <std::size_t N>
    Room& operator+=(const char (&text)[N]) {
        append(text, N - 1);
        return *this;
    }
};

template <class Out>
void AppendHex(Out& out, unsigned char byte) {
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0xF];
}

// A byte below 0x80 that stays as it is: printable, but "\".
constexpr bool PlainAscii(unsigned char byte) {
    return byte >= 0x20 && byte != 0x7F && byte != '\\';
}

// A byte below 0x80 as escaped: \\ \t \n \r or \xHH; `out` gets nothing for one that stays.
template <class Out>
bool AppendAsciiEscape(Out& out, unsigned char byte) {
    if (PlainAscii(byte)) {
        return false;
    }
    switch (byte) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            AppendHex(out, byte);
    }
    return true;
}

template <class Out>
[[gnu::noinline]] void EscapeRunsTo(Out& out, std::string_view text) {
    // Runs of bytes that stay as they are go in whole, found sixteen at a time: rows and journals
    // carry every name and path of the tree, and those of deep trees are hundreds of kilobytes
    // long.
    const char* p = text.data();
    const std::size_t size = text.size();
    std::size_t plainFrom = 0;
    std::size_t i = 0;
    while (i < size) {
        for (std::size_t n = 1; n != 0 && size - i >= kBlock; i += n) {
            n = PlainBlock(p + i);
        }
        if (i < size && size - i < kBlock) {
            if (PlainTail(text, size - i)) {
                break;
            }
        }
        // Byte by byte up to the next block, or to the end.
        for (const std::size_t until = i + kBlock; i < size && i < until;) {
            const auto byte = static_cast<unsigned char>(p[i]);
            if (byte < 0x80) {
                if (PlainAscii(byte)) {
                    ++i;
                    continue;
                }
                out.append(p + plainFrom, i - plainFrom);
                AppendAsciiEscape(out, byte);
                plainFrom = ++i;
                continue;
            }
            if (byte >= 0xC3 && byte <= 0xDF && i + 1 < size &&
                (static_cast<unsigned char>(p[i + 1]) & 0xC0) == 0x80) {
                i += 2;  // two bytes, never a C1 character (those start with 0xC2)
                continue;
            }
            std::size_t plain = 0;
            const std::size_t escaped = HighBytesToEscape(text, i, plain);
            if (escaped == 0) {
                i += plain;
                continue;
            }
            out.append(p + plainFrom, i - plainFrom);
            for (std::size_t k = 0; k < escaped; ++k) {
                AppendHex(out, static_cast<unsigned char>(p[i + k]));
            }
            i += escaped;
            plainFrom = i;
        }
    }
    out.append(p + plainFrom, size - plainFrom);
}

template <class Out>
void EscapeTo(Out& out, std::string_view text) {
    if (IsPlainText(text)) {
        out.append(text.data(), text.size());
    } else {
        EscapeRunsTo(out, text);
    }
}

template <class Out>
void EscapeForWindowsTo(Out& out, std::string_view text) {
    std::size_t plainFrom = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 || byte == 0) {
            continue;
        }
        out.append(text.data() + plainFrom, i - plainFrom);
        plainFrom = i + 1;
        out += '<';
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
        out += '>';
    }
    out.append(text.data() + plainFrom, text.size() - plainFrom);
}

}  // namespace

void AppendEscaped(std::string& out, std::string_view text) {
    EscapeTo(out, text);
}

char* EscapeInto(char* out, std::string_view text) {
    Room room{out};
    EscapeTo(room, text);
    return room.at;
}

void AppendEscapedByBytes(std::string& out, std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            if (!AppendAsciiEscape(out, byte)) {
                out += text[i];
            }
            ++i;
            continue;
        }
        std::size_t plain = 0;
        const std::size_t escaped = HighBytesToEscape(text, i, plain);
        for (std::size_t k = 0; k < escaped; ++k) {
            AppendHex(out, static_cast<unsigned char>(text[i + k]));
        }
        out.append(text.substr(i + escaped, plain));
        i += escaped + plain;
    }
}

void AppendEscapedForWindows(std::string& out, std::string_view text) {
    EscapeForWindowsTo(out, text);
}

void AppendShown(std::string& out, std::string_view text) {
#ifdef _WIN32
    EscapeForWindowsTo(out, text);
#else
    EscapeTo(out, text);
#endif
}

char* ShownInto(char* out, std::string_view text) {
    Room room{out};
#ifdef _WIN32
    EscapeForWindowsTo(room, text);
#else
    EscapeTo(room, text);
#endif
    return room.at;
}

std::string ShownField(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendShown(out, text);
    return out;
}

std::string EscapeField(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendEscaped(out, text);
    return out;
}

bool UnescapeField(std::string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\t' || c == '\n' || c == '\r') {
            return false;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i == text.size()) {
            return false;
        }
        switch (text[i]) {
            case '\\':
                out += '\\';
                break;
            case 't':
                out += '\t';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 'x': {
                if (i + 2 >= text.size()) {
                    return false;
                }
                const int high = HexDigit(text[i + 1]);
                const int low = HexDigit(text[i + 2]);
                if (high < 0 || low < 0 || (high == 0 && low == 0)) {
                    return false;
                }
                out += static_cast<char>(high * 16 + low);
                i += 2;
                break;
            }
            default:
                return false;
        }
    }
    return true;
}

}  // namespace tovana
