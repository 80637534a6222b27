#include "journal/Escape.h"

#include <cstdint>
#include <cstring>

namespace tovana {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// Whether any of the eight bytes in `word` is to be escaped: below 0x20, 0x7F or '\\'. (A
// byte below n, for n up to 0x80, and a zero byte found with the borrow of a subtraction.)
bool AnyToEscape(std::uint64_t word) {
    constexpr std::uint64_t kOnes = 0x0101010101010101;
    constexpr std::uint64_t kHighs = 0x8080808080808080;
    const auto hasZero = [](std::uint64_t v) { return ((v - kOnes) & ~v & kHighs) != 0; };
    return ((word - kOnes * 0x20) & ~word & kHighs) != 0 || hasZero(word ^ (kOnes * 0x7F)) ||
           hasZero(word ^ (kOnes * '\\'));
}

}  // namespace

void AppendEscaped(std::string& out, std::string_view text) {
    // Runs of bytes that stay as they are go in whole, found eight at a time: rows and journals
    // of deep trees carry paths of hundreds of kilobytes.
    std::size_t plainFrom = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint64_t word = 0;
        while (i + sizeof word <= text.size() &&
               (std::memcpy(&word, text.data() + i, sizeof word), !AnyToEscape(word))) {
            i += sizeof word;
        }
        if (i == text.size()) {
            break;
        }
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
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
                const int high = HexValue(text[i + 1]);
                const int low = HexValue(text[i + 2]);
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
