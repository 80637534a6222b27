#include "journal/Escape.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "names/NameText.h"

namespace tovana {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// Whether any of the eight bytes in `word` may have to be escaped: below 0x20, 0x7F or '\\',
// or above 0x7F other than whole two-byte UTF-8 sequences with a lead byte 0xC3-0xDF (the
// letters of Czech and the other Latin scripts), which are never C1 control characters; those
// bytes are looked at one by one. (A byte below n, for n up to 0x80, and a zero byte found with
// the borrow of a subtraction.)
bool AnyToEscape(std::uint64_t word, bool afterLead) {
    constexpr std::uint64_t kOnes = 0x0101010101010101;
    constexpr std::uint64_t kHighs = 0x8080808080808080;
    const auto hasZero = [](std::uint64_t v) { return ((v - kOnes) & ~v & kHighs) != 0; };
    if (((word - kOnes * 0x20) & ~word & kHighs) != 0 || hasZero(word ^ (kOnes * 0x7F)) ||
        hasZero(word ^ (kOnes * '\\'))) {
        return true;
    }
    if ((word & kHighs) == 0) {
        return false;
    }
    // Lead bytes (11xxxxxx) and continuation bytes (10xxxxxx), flagged in their top bits; each
    // continuation must follow a lead, the first byte's the one before the word (`afterLead`),
    // and each lead be followed by a continuation, the last byte's checked with the next word
    // (bytes are in memory order, the first the lowest in a little-endian word).
    const std::uint64_t leads = word & (word << 1) & kHighs;
    const std::uint64_t continuations = word & ~(word << 1) & kHighs;
    const std::uint64_t longLeads = leads & (word << 2);  // 0xE0 and up: three or four bytes
    const bool lowLead = hasZero(word ^ (kOnes * 0xC0)) || hasZero(word ^ (kOnes * 0xC1)) ||
                         hasZero(word ^ (kOnes * 0xC2));
    return std::endian::native != std::endian::little || longLeads != 0 || lowLead ||
           ((leads << 8) | (afterLead ? 0x80u : 0u)) != continuations;
}

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

// Passes over printable ASCII and UTF-8 from text[i] on, byte by byte, for at least eight
// bytes (where the eight-byte steps could not): the index of the first byte to escape, or of
// the first byte past those eight (text.size() at the end). `found` tells which.
std::size_t PlainUpTo(std::string_view text, std::size_t i, bool& found) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    const std::size_t until = i + 8;
    found = false;
    while (i < size && i < until) {
        const unsigned byte = p[i];
        if (byte < 0x80) {
            if (byte < 0x20 || byte == 0x7F || byte == '\\') {
                found = true;
                return i;
            }
            ++i;
        } else if (byte >= 0xC3 && byte <= 0xDF && i + 1 < size && (p[i + 1] & 0xC0) == 0x80) {
            i += 2;  // two bytes, never a C1 character (those start with 0xC2)
        } else {
            std::size_t plain = 0;
            if (HighBytesToEscape(text, i, plain) != 0) {
                found = true;
                return i;
            }
            i += plain;
        }
    }
    return i;
}

void AppendHex(std::string& out, unsigned char byte) {
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0xF];
}

}  // namespace

void AppendEscaped(std::string& out, std::string_view text) {
    // Runs of bytes that stay as they are go in whole, found eight at a time: rows and journals
    // of deep trees carry paths of hundreds of kilobytes.
    std::size_t plainFrom = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        for (bool found = false; !found && i < text.size();) {
            std::uint64_t word = 0;
            bool afterLead = false;
            while (
                i + sizeof word <= text.size() &&
                (std::memcpy(&word, text.data() + i, sizeof word), !AnyToEscape(word, afterLead))) {
                i += sizeof word;
                afterLead = (word >> 56) >= 0xC0;
            }
            // A sequence cut by the end of the last word passed is looked at whole.
            i -= afterLead ? 1 : 0;
            i = PlainUpTo(text, i, found);
        }
        if (i == text.size()) {
            break;
        }
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80) {
            std::size_t plain = 0;
            const std::size_t escaped = HighBytesToEscape(text, i, plain);
            out.append(text.substr(plainFrom, i - plainFrom));
            for (std::size_t k = 0; k < escaped; ++k) {
                AppendHex(out, static_cast<unsigned char>(text[i + k]));
            }
            i += escaped - 1;
            plainFrom = i + 1;
            continue;
        }
        if (byte >= 0x20 && byte != 0x7F && c != '\\') {
            continue;
        }
        out.append(text.substr(plainFrom, i - plainFrom));
        plainFrom = i + 1;
        out += '\\';
        switch (c) {
            case '\\':
                out += '\\';
                break;
            case '\t':
                out += 't';
                break;
            case '\n':
                out += 'n';
                break;
            case '\r':
                out += 'r';
                break;
            default:
                out += 'x';
                out += kHex[byte >> 4];
                out += kHex[byte & 0xF];
        }
    }
    out.append(text.substr(plainFrom));
}

void AppendEscapedForWindows(std::string& out, std::string_view text) {
    std::size_t plainFrom = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 || byte == 0) {
            continue;
        }
        out.append(text.substr(plainFrom, i - plainFrom));
        plainFrom = i + 1;
        out += '<';
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
        out += '>';
    }
    out.append(text.substr(plainFrom));
}

void AppendShown(std::string& out, std::string_view text) {
#ifdef _WIN32
    AppendEscapedForWindows(out, text);
#else
    AppendEscaped(out, text);
#endif
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
