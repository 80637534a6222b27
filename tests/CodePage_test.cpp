#include "names/CodePage.h"

#include <gtest/gtest.h>

namespace {

using tovana::CharLower1250;
using tovana::CharUpper1250;
using tovana::Cp1250ToUnicode;
using tovana::IsCharAlphaNumeric1250;
using tovana::UnicodeToCp1250;

unsigned char Byte(char32_t c) {
    return static_cast<unsigned char>(UnicodeToCp1250(c));
}

TEST(CodePage, EveryAssignedByteRoundTrips) {
    int unassigned = 0;
    for (int b = 0; b < 0x100; ++b) {
        const char32_t u = Cp1250ToUnicode(static_cast<unsigned char>(b));
        if (u == 0 && b != 0) {
            ++unassigned;
            continue;
        }
        EXPECT_EQ(UnicodeToCp1250(u), b);
    }
    EXPECT_EQ(unassigned, 5);
    EXPECT_EQ(UnicodeToCp1250(U'ш'), -1);
    EXPECT_EQ(UnicodeToCp1250(U'€'), 0x80);
}

struct CaseRow {
    char32_t lower;
    char32_t upper;
};

TEST(CodePage, CasePairsFollowUnicode) {
    for (CaseRow row : {CaseRow{U'ł', U'Ł'}, CaseRow{U'ř', U'Ř'}, CaseRow{U'ů', U'Ů'},
                        CaseRow{U'ž', U'Ž'}, CaseRow{U'a', U'A'}, CaseRow{U'ţ', U'Ţ'}}) {
        EXPECT_EQ(CharUpper1250(Byte(row.lower)), Byte(row.upper));
        EXPECT_EQ(CharLower1250(Byte(row.upper)), Byte(row.lower));
    }
}

TEST(CodePage, LettersWithoutCapitalInTheCodePageStay) {
    for (char32_t c : {U'ß', U'µ', U'×', U'§', U'1'}) {
        EXPECT_EQ(CharUpper1250(Byte(c)), Byte(c));
        EXPECT_EQ(CharLower1250(Byte(c)), Byte(c));
    }
}

TEST(CodePage, AlphaNumericFollowsLetterClasses) {
    for (char32_t c : {U'ˇ', U'ß', U'ł', U'Ž', U'µ', U'a', U'Z', U'0', U'9'}) {
        EXPECT_TRUE(IsCharAlphaNumeric1250(Byte(c))) << static_cast<unsigned>(c);
    }
    for (char32_t c : {U'×', U'«', U'§', U'_', U' ', U'.', U'-', U'€', U'\u00A0', U'˘'}) {
        EXPECT_FALSE(IsCharAlphaNumeric1250(Byte(c))) << static_cast<unsigned>(c);
    }
}

}  // namespace
