#include "names/NameText.h"

#include <gtest/gtest.h>

#include "support/CaseLabel.h"

#include <random>

namespace {

using tovana::DecodeName;
using tovana::EncodeName;
using tovana::UpperText;

TEST(NameText, InvalidBytesRoundTripUnchanged) {
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(random() % 12, '\0');
        for (char& b : bytes) {
            b = static_cast<char>(random() % 256);
        }
        EXPECT_EQ(EncodeName(DecodeName(bytes)), bytes);
    }
}

struct DecodeCase {
    const char* label;
    std::string utf8;
    std::u32string chars;
};

class Decoding : public testing::TestWithParam<DecodeCase> {};

TEST_P(Decoding, GivesCharacters) {
    EXPECT_EQ(DecodeName(GetParam().utf8), GetParam().chars);
}

constexpr char32_t Raw(unsigned char b) {
    return tovana::kRawByteBase + b;
}

INSTANTIATE_TEST_SUITE_P(
    Names, Decoding,
    testing::Values(DecodeCase{"Composed", "čaj", U"čaj"},
                    DecodeCase{"DecomposedCaronComposes", "c\u030Caj", U"čaj"},
                    DecodeCase{"DecomposedRingComposes", "ku\u030An", U"kůn"},
                    DecodeCase{"TwoMarksWithoutOneCharacterStay", "c\u030C\u0301",
                               U"c\u030C\u0301"},
                    DecodeCase{"MarkNotInCodePageStays", "q\u030C", U"q\u030C"},
                    DecodeCase{"LeadingMarkStays", "\u030Ca", U"\u030Ca"},
                    DecodeCase{"CyrillicStays", "дом", U"дом"},
                    DecodeCase{"OverlongIsRaw", "\xC0\xAF", std::u32string{Raw(0xC0), Raw(0xAF)}},
                    DecodeCase{"SurrogateIsRaw", "\xED\xA0\x80",
                               std::u32string{Raw(0xED), Raw(0xA0), Raw(0x80)}},
                    DecodeCase{"Cp1250BytesAreRaw",
                               "\xE8"
                               "aj",
                               std::u32string{Raw(0xE8), U'a', U'j'}},
                    DecodeCase{"TruncatedSequence", "a\xC4", std::u32string{U'a', Raw(0xC4)}}),
    tovana::test::CaseLabel());

TEST(NameText, UpperTextKeepsSharpSAndFollowsCodePage) {
    EXPECT_EQ(UpperText("*.jpg;straße"), "*.JPG;STRAßE");
    EXPECT_EQ(UpperText("łódź µ"), "ŁÓDŹ µ");
    EXPECT_EQ(UpperText("дом"), "ДОМ");
    EXPECT_EQ(UpperText("a\xFF"), "A\xFF");
}

}  // namespace
