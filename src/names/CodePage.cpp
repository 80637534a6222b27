#include "names/CodePage.h"

#include <array>
#include <cstdint>

#include "names/Unicode.h"

namespace tovana {
namespace {

// Unicode characters of the bytes 0x80..0xFF, eight to a row; 0 marks an unassigned byte.
constexpr std::array<char16_t, 128> kUpperHalf = {
    0x20AC, 0x0000, 0x201A, 0x0000, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x0000, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,  // 0x88
    0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x0000, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,  // 0x98
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,  // 0xA0
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,  // 0xA8
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,  // 0xB0
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,  // 0xB8
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,  // 0xC0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,  // 0xC8
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,  // 0xD0
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,  // 0xD8
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,  // 0xE0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,  // 0xE8
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,  // 0xF0
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,  // 0xF8
};

// The highest character the code page holds is U+2122 (trade mark sign).
constexpr char32_t kLastHeld = 0x2122;

struct Tables {
    std::array<std::uint8_t, kLastHeld + 1> fromUnicode{};  // 0 = not held (U+0000 aside)
    std::array<unsigned char, 256> upper{};
    std::array<unsigned char, 256> lower{};
    std::array<bool, 256> alnum{};

    Tables() {
        for (unsigned b = 0; b < 0x80; ++b) {
            fromUnicode[b] = static_cast<std::uint8_t>(b);
        }
        for (unsigned b = 0x80; b < 0x100; ++b) {
            if (char16_t u = kUpperHalf[b - 0x80]; u != 0) {
                fromUnicode[u] = static_cast<std::uint8_t>(b);
            }
        }
        for (unsigned b = 0; b < 0x100; ++b) {
            const auto byte = static_cast<unsigned char>(b);
            const char32_t u = Cp1250ToUnicode(byte);
            upper[b] = lower[b] = byte;
            alnum[b] = false;
            if (u == 0 && b != 0) {
                continue;
            }
            const auto inCodePage = [&](char32_t mapped) {
                const int held = UnicodeToCp1250Raw(mapped);
                return held < 0 ? byte : static_cast<unsigned char>(held);
            };
            upper[b] = inCodePage(unicode::SimpleUpper(u));
            lower[b] = inCodePage(unicode::SimpleLower(u));
            const unicode::CharClass kind = unicode::ClassOf(u);
            alnum[b] = kind == unicode::CharClass::Letter ||
                       (kind == unicode::CharClass::Number && u < 0x80);
        }
    }

    int UnicodeToCp1250Raw(char32_t c) const {
        if (c > kLastHeld) {
            return -1;
        }
        const std::uint8_t b = fromUnicode[c];
        return (b != 0 || c == 0) ? b : -1;
    }
};

const Tables& TheTables() {
    static const Tables tables;
    return tables;
}

}  // namespace

char32_t Cp1250ToUnicode(unsigned char byte) {
    return byte < 0x80 ? byte : kUpperHalf[byte - 0x80];
}

int UnicodeToCp1250(char32_t c) {
    return TheTables().UnicodeToCp1250Raw(c);
}

unsigned char CharUpper1250(unsigned char byte) {
    return TheTables().upper[byte];
}

unsigned char CharLower1250(unsigned char byte) {
    return TheTables().lower[byte];
}

bool IsCharAlphaNumeric1250(unsigned char byte) {
    return TheTables().alnum[byte];
}

}  // namespace tovana
