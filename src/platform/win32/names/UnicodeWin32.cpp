#include <windows.h>

#include "names/Unicode.h"
#include "names/UnicodeSupplementary.h"

namespace tovana::unicode {
namespace {

// One character as UTF-16: one unit, or a surrogate pair.
int ToUnits(char32_t c, wchar_t units[2]) {
    if (c < 0x10000) {
        units[0] = static_cast<wchar_t>(c);
        return 1;
    }
    c -= 0x10000;
    units[0] = static_cast<wchar_t>(0xD800 + (c >> 10));
    units[1] = static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
    return 2;
}

char32_t FromUnits(const wchar_t* units, int count) {
    if (count == 2) {
        return 0x10000 + ((static_cast<char32_t>(units[0]) - 0xD800) << 10) +
               (static_cast<char32_t>(units[1]) - 0xDC00);
    }
    return static_cast<char32_t>(units[0]);
}

template <typename Mapping>
char32_t MapCase(char32_t c, Mapping mapping) {
    wchar_t units[2];
    const int count = ToUnits(c, units);
    mapping(units, static_cast<DWORD>(count));
    return FromUnits(units, count);
}

}  // namespace

// The system's character types and case mappings work on single UTF-16 units: a surrogate pair
// would be judged by its high half alone. Characters beyond U+FFFF come from the table instead.
CharClass ClassOf(char32_t c) {
    if (c >= 0x10000) {
        return SupplementaryClass(c);
    }
    wchar_t units[2];
    const int count = ToUnits(c, units);
    WORD type1[2] = {};
    WORD type3[2] = {};
    if (!GetStringTypeW(CT_CTYPE1, units, count, type1) ||
        !GetStringTypeW(CT_CTYPE3, units, count, type3)) {
        return CharClass::Other;
    }
    if (type1[0] & C1_ALPHA) {
        return CharClass::Letter;
    }
    if (type3[0] & C3_NONSPACING) {
        return CharClass::Mark;
    }
    if (type1[0] & C1_DIGIT) {
        return CharClass::Number;
    }
    return CharClass::Other;
}

char32_t SimpleUpper(char32_t c) {
    if (c >= 0x10000) {
        return SupplementaryUpper(c);
    }
    return MapCase(c, CharUpperBuffW);
}

char32_t SimpleLower(char32_t c) {
    if (c >= 0x10000) {
        return SupplementaryLower(c);
    }
    return MapCase(c, CharLowerBuffW);
}

std::u32string Composed(const std::u32string& chars) {
    std::wstring wide;
    for (char32_t c : chars) {
        wchar_t units[2];
        wide.append(units, static_cast<std::size_t>(ToUnits(c, units)));
    }
    wchar_t out[64];
    const int length =
        NormalizeString(NormalizationC, wide.data(), static_cast<int>(wide.size()), out, 64);
    if (length <= 0) {
        return chars;
    }
    std::u32string result;
    for (int i = 0; i < length; ++i) {
        const bool pair = out[i] >= 0xD800 && out[i] < 0xDC00 && i + 1 < length;
        result += FromUnits(out + i, pair ? 2 : 1);
        i += pair ? 1 : 0;
    }
    return result;
}

}  // namespace tovana::unicode
