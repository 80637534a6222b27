#include "table/uCZ2Ascii.h"

#include <gtest/gtest.h>

#include "support/CaseLabel.h"

#include <map>
#include <set>

#include "names/CodePage.h"

namespace {

// The replacements grouped by result, written out apart from the table itself.
const std::map<char, std::set<int>> kReplacements = {
    {'A', {0xA5, 0xC1, 0xC2, 0xC3, 0xC4}},
    {'a', {0xB9, 0xE1, 0xE2, 0xE3, 0xE4}},
    {'C', {0xC6, 0xC7, 0xC8}},
    {'c', {0xE6, 0xE7, 0xE8}},
    {'D', {0xCF, 0xD0}},
    {'d', {0xEF, 0xF0}},
    {'E', {0xC9, 0xCA, 0xCB, 0xCC}},
    {'e', {0xE9, 0xEA, 0xEB, 0xEC}},
    {'I', {0xCD, 0xCE}},
    {'i', {0xED, 0xEE}},
    {'L', {0xA3, 0xBC, 0xC5}},
    {'l', {0xBE, 0xE5}},
    {'N', {0xD1, 0xD2}},
    {'n', {0xF1, 0xF2}},
    {'O', {0xD3, 0xD4, 0xD5, 0xD6}},
    {'o', {0xF3, 0xF4, 0xF5, 0xF6}},
    {'R', {0xC0, 0xD8}},
    {'r', {0xE0, 0xF8}},
    {'S', {0x8A, 0x8C, 0xAA}},
    {'s', {0x9A, 0x9C, 0xBA}},
    {'T', {0x8D, 0xDE}},
    {'t', {0x9D, 0xFE}},
    {'U', {0xD9, 0xDA, 0xDB, 0xDC}},
    {'u', {0xF9, 0xFA, 0xFB, 0xFC}},
    {'Y', {0xDD}},
    {'y', {0xFD}},
    {'Z', {0x8E, 0x8F, 0xAF}},
    {'z', {0x9E, 0x9F, 0xBF}},
    {' ', {0xA0}},
};

std::string ToCp1250(std::u32string_view text) {
    std::string bytes;
    for (char32_t c : text) {
        const int b = tovana::UnicodeToCp1250(c);
        EXPECT_GE(b, 0) << "U+" << std::hex << static_cast<unsigned>(c);
        bytes += static_cast<char>(b);
    }
    return bytes;
}

TEST(CZ2AsciiTable, EveryUpperHalfByteHasItsEntry) {
    std::map<int, char> expected;
    for (const auto& [result, sources] : kReplacements) {
        for (int source : sources) {
            expected[source] = result;
        }
    }
    ASSERT_EQ(expected.size(), 80u);
    int kept = 0;
    for (int b = 0x80; b <= 0xFF; ++b) {
        const auto it = expected.find(b);
        const int want = it == expected.end() ? b : static_cast<unsigned char>(it->second);
        kept += it == expected.end();
        EXPECT_EQ(CZ2AsciiTable[b - 0x80], want) << "byte 0x" << std::hex << b;
    }
    EXPECT_EQ(kept, 48);
}

TEST(CZ2AsciiTable, LowerHalfNeverChanges) {
    for (int b = 0; b < 0x80; ++b) {
        EXPECT_EQ(CZ2AsciiByte(static_cast<unsigned char>(b)), b);
    }
}

struct Case {
    const char* label;
    std::u32string input;
    std::u32string expected;
};

class CZ2AsciiNames : public testing::TestWithParam<Case> {};

TEST_P(CZ2AsciiNames, ConvertsByteForByte) {
    const Case& c = GetParam();
    const std::string result = CZ2Ascii(ToCp1250(c.input));
    EXPECT_EQ(result, ToCp1250(c.expected));
    EXPECT_EQ(CZ2Ascii(result), result) << "a second pass changed the name";
}

INSTANTIATE_TEST_SUITE_P(
    Names, CZ2AsciiNames,
    testing::Values(Case{"Pangram", U"Příliš žluťoučký kůň úpěl ďábelské ódy",
                         U"Prilis zlutoucky kun upel dabelske ody"},
                    Case{"CapitalLStroke", U"ŁÓDŹ", U"LODZ"},
                    Case{"SmallLStrokeStays", U"łódź", U"łodz"},
                    Case{"AsciiUnchanged", U"plain-name_01.txt", U"plain-name_01.txt"},
                    Case{"SharpSStays", U"Straße", U"Straße"}, Case{"TimesStays", U"5×3", U"5×3"},
                    Case{"NoBreakSpaceBecomesSpace", U"a\u00A0b", U"a b"}, Case{"Empty", U"", U""}),
    tovana::test::CaseLabel());

}  // namespace
