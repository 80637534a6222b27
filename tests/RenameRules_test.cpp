#include "names/RenameRules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "names/NameText.h"

#include "support/CaseLabel.h"

namespace {

using tovana::MaskAccepts;
using tovana::NonAlphaNumToUnderscore;
using tovana::RenameOptions;
using tovana::Rewrite;

enum Flag : unsigned {
    kReplaceSpace = 1,
    kRemoveSpace = 2,
    kReplaceUnderline = 4,
    kRemoveUnderline = 8,
    kNonAlphaNum = 16,
    kUpper = 32,
    kLower = 64,
};

RenameOptions With(unsigned flags) {
    RenameOptions o;
    o.ReplaceSpace = flags & kReplaceSpace;
    o.RemoveSpace = flags & kRemoveSpace;
    o.ReplaceUnderline = flags & kReplaceUnderline;
    o.RemoveUnderline = flags & kRemoveUnderline;
    o.NonAlphaNum = flags & kNonAlphaNum;
    o.ToUpperCase = flags & kUpper;
    o.ToLowerCase = flags & kLower;
    o.Legacy = tovana::LegacyCodePage::None;  // bytes that are not UTF-8 stay as they are
    return o;
}

struct RewriteCase {
    const char* label;
    const char* name;
    unsigned flags;
    const char* expected;
};

class Rewriting : public testing::TestWithParam<RewriteCase> {};

TEST_P(Rewriting, GivesNewName) {
    const RewriteCase& c = GetParam();
    const auto result = Rewrite(c.name, false, With(c.flags));
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(*result, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, Rewriting,
    testing::Values(
        RewriteCase{"DiacriticsOnly", "Žluťoučký kůň.TXT", 0, "Zlutoucky kun.TXT"},
        RewriteCase{"DecomposedName", "Z\u030Cluc\u030Cka.txt", 0, "Zlucka.txt"},
        RewriteCase{"MarkLeftBesideAStrippedLetterGoesToo", "\u0179\u030Cc", 0, "Zc"},
        RewriteCase{"RemovalNeverJoinsInvalidBytesIntoALetter", "\xC5_\xB9 x.txt",
                    kRemoveUnderline | kRemoveSpace, "\xC5_\xB9x.txt"},
        RewriteCase{"ForeignLettersKept", "дом č.txt", 0, "дом c.txt"},
        RewriteCase{"InvalidBytesKept", "\xFF\xFE č.txt", kNonAlphaNum | kUpper, "\xFF\xFE_C.TXT"},
        RewriteCase{"ReplaceSpace", "moje fotka.jpg", kReplaceSpace, "moje_fotka.jpg"},
        RewriteCase{"ReplaceSpaceDisablesRemoveSpace", "moje fotka.jpg",
                    kReplaceSpace | kRemoveSpace, "moje_fotka.jpg"},
        RewriteCase{"ReplaceSpaceDisablesReplaceUnderline", "a_b c.jpg",
                    kReplaceSpace | kReplaceUnderline, "a_b c.jpg"},
        RewriteCase{"BothReplacementsCancelEverything", "moje fotka_x.jpg",
                    kReplaceSpace | kReplaceUnderline | kRemoveSpace | kRemoveUnderline,
                    "moje fotka_x.jpg"},
        RewriteCase{"NonAlphaNum", "a.b-c (1).tar.gz", kNonAlphaNum, "a_b_c__1__tar.gz"},
        RewriteCase{"NonAlphaNumDotProfile", ".profile", kNonAlphaNum, ".profile"},
        RewriteCase{"NonAlphaNumTrailingDot", "name.", kNonAlphaNum, "name."},
        RewriteCase{"NonAlphaNumKeepsLettersOfCodePage", "ł ß×«.txt", kNonAlphaNum, "ł_ß__.txt"},
        RewriteCase{"NonAlphaNumForeignLettersAndNumbers", "дом²!.txt", kNonAlphaNum, "дом²_.txt"},
        RewriteCase{"NonAlphaNumThenReplaceUnderline", "a-b.txt", kNonAlphaNum | kReplaceUnderline,
                    "a b.txt"},
        RewriteCase{"NonAlphaNumThenReplaceUnderlineRemoveSpace", "a-b_c.txt",
                    kNonAlphaNum | kReplaceUnderline | kRemoveSpace, "abc.txt"},
        RewriteCase{"NonAlphaNumThenRemoveUnderline", "a-b (1).txt",
                    kNonAlphaNum | kRemoveUnderline, "ab1.txt"},
        RewriteCase{"ReplaceSpaceThenRemoveUnderline", "a b_c.txt",
                    kReplaceSpace | kRemoveUnderline, "abc.txt"},
        RewriteCase{"ReplaceUnderlineThenRemoveSpace", "a b_c.txt",
                    kReplaceUnderline | kRemoveSpace, "abc.txt"},
        RewriteCase{"Upper", "Řeka.jpg", kUpper, "REKA.JPG"},
        RewriteCase{"Lower", "ŘEKA.JPG", kLower, "reka.jpg"},
        RewriteCase{"UpperCasesKeptLStroke", "łódź.txt", kUpper, "ŁODZ.TXT"},
        RewriteCase{"UpperKeepsSharpS", "straße", kUpper, "STRAßE"},
        RewriteCase{"RemoveUnderlineToEmpty", "___", kRemoveUnderline, ""},
        RewriteCase{"NoBreakSpaceIsASpace", "a\u00A0b.txt", kRemoveSpace, "ab.txt"},
        // Characters beyond U+FFFF are whole characters (surrogate pairs on Windows).
        RewriteCase{"NonAlphaNumKeepsCjkExtensionB", "\U00020BB7野家 Čaj.txt", kNonAlphaNum,
                    "\U00020BB7野家_Caj.txt"},
        RewriteCase{"NonAlphaNumKeepsDeseretLetters", "\U00010437\U0001042F-x.txt", kNonAlphaNum,
                    "\U00010437\U0001042F_x.txt"},
        RewriteCase{"NonAlphaNumKeepsMathematicalDigits", "\U0001D7D9\U0001D7DA (x).txt",
                    kNonAlphaNum, "\U0001D7D9\U0001D7DA__x_.txt"},
        RewriteCase{"NonAlphaNumReplacesEmojiAndMusicSigns", "a\U0001F600\U0001D11Eb.txt",
                    kNonAlphaNum, "a__b.txt"},
        RewriteCase{"UpperDeseret", "\U00010437\U0001042F.txt", kUpper, "\U0001040F\U00010407.TXT"},
        RewriteCase{"LowerOsage", "\U000104B0\U000104D3.TXT", kLower, "\U000104D8\U000104FB.txt"}),
    tovana::test::CaseLabel());

// Most names take a shorter way through the rules than decoding them into characters: it must
// give exactly what the general way gives, for every character it takes (all of one and two
// bytes in UTF-8), beside the ones it leaves to the general way, in stem and extension, under
// each rule and both hiding rules, for files and folders, with each kind of mask.
struct AgreementCase {
    const char* label;
    unsigned flags;
    const char* masks;
    tovana::LegacyCodePage legacy = tovana::LegacyCodePage::None;
};

class ShortWay : public testing::TestWithParam<AgreementCase> {};

std::vector<std::string> NamesAround(const std::string& c) {
    return {c,
            "a" + c + "b.t" + c,
            "." + c + " _x",
            c + ".",
            "_" + c + " " + c + "." + c + "_",
            "\xFF" + c,
            c + ".\xE8sv",
            c + "e\u0301.txt",
            "\u4E2D" + c};
}

TEST_P(ShortWay, GivesWhatTheGeneralWayGives) {
    RenameOptions o = With(GetParam().flags);
    o.Masks = GetParam().masks;
    o.Legacy = GetParam().legacy;
    o.RenameDir = true;
    std::vector<std::string> characters;
    for (char32_t c = 1; c < 0x800; ++c) {
        if (c != '/') {
            std::string utf8;
            tovana::AppendUtf8(utf8, c);
            characters.push_back(utf8);
        }
    }
    int differing = 0;
    for (const bool dotHides : {true, false}) {
        const tovana::NameReading reading{tovana::ReadingFor(o.Legacy), dotHides};
        for (const std::string& c : characters) {
            for (const std::string& name : NamesAround(c)) {
                for (const bool isFolder : {false, true}) {
                    const auto expected = tovana::RewriteByCharacters(name, isFolder, o, reading);
                    std::string out = "left from before";
                    const bool taken = tovana::RewriteInto(name, isFolder, o, reading, out);
                    if (taken != expected.has_value() || (taken && out != *expected)) {
                        ADD_FAILURE()
                            << "name \"" << name << "\" folder " << isFolder << " dot hides "
                            << dotHides << ": \"" << out << "\" instead of \""
                            << expected.value_or("(not taken)") << "\"";
                        if (++differing == 10) {
                            return;
                        }
                    }
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ShortWay,
    testing::Values(AgreementCase{"DiacriticsOnly", 0, "*.*"},
                    AgreementCase{"ReplaceSpace", kReplaceSpace, "*.*"},
                    AgreementCase{"NonAlphaNum", kNonAlphaNum, "*.*"},
                    AgreementCase{"NonAlphaNumReplaceUnderlineRemoveSpace",
                                  kNonAlphaNum | kReplaceUnderline | kRemoveSpace, "*.*"},
                    AgreementCase{"ReplaceSpaceRemoveUnderline", kReplaceSpace | kRemoveUnderline,
                                  "*.*"},
                    AgreementCase{"BothReplacements", kReplaceSpace | kReplaceUnderline, "*.*"},
                    AgreementCase{"RemoveBoth", kRemoveSpace | kRemoveUnderline, "*.*"},
                    AgreementCase{"Upper", kUpper, "*.*"},
                    AgreementCase{"LowerNonAlphaNum", kLower | kNonAlphaNum, "*.*"},
                    AgreementCase{"UpperAndLower", kUpper | kLower, "*.*"},
                    AgreementCase{"MaskOfExtensions", kReplaceSpace, "*.JPG;*.T\u00C1;*"},
                    AgreementCase{"MaskOfAccentedExtension", kUpper, "*.\u010CSV;*.T\u00E1"},
                    AgreementCase{"EmptyMask", 0, ""},
                    AgreementCase{"LegacyNamesAndAccentedMask", kLower, "*.\u010CSV",
                                  tovana::LegacyCodePage::Cp1250}),
    tovana::test::CaseLabel());

TEST(Rewriting, FolderNamesSplitAtTheirLastDotToo) {
    RenameOptions o = With(kNonAlphaNum);
    o.RenameDir = true;
    EXPECT_EQ(Rewrite("Fotky 2005.06", true, o), "Fotky_2005.06");
}

TEST(Rewriting, FoldersAreTakenOnlyWithRenameDir) {
    RenameOptions o;
    o.Masks = "";
    EXPECT_FALSE(Rewrite("Č", true, o).has_value());
    o.RenameDir = true;
    EXPECT_EQ(Rewrite("Č", true, o), "C");
}

TEST(Rewriting, FilesIgnoreRenameDir) {
    RenameOptions o;
    o.Masks = "*.TXT";
    o.RenameDir = true;
    EXPECT_FALSE(Rewrite("č.jpg", false, o).has_value());
    EXPECT_EQ(Rewrite("č.txt", false, o), "c.txt");
}

struct MaskCase {
    const char* label;
    const char* name;
    const char* masks;
    bool accepted;
};

class Masking : public testing::TestWithParam<MaskCase> {};

TEST_P(Masking, TakesByExtension) {
    EXPECT_EQ(MaskAccepts(GetParam().name, GetParam().masks), GetParam().accepted);
}

constexpr const char* kPictures = "*.JPG;*.BMP;*.GIF";

INSTANTIATE_TEST_SUITE_P(
    Masks, Masking,
    testing::Values(MaskCase{"LowerCaseExtension", "x.jpg", kPictures, true},
                    MaskCase{"MixedCaseExtension", "y.Gif", kPictures, true},
                    MaskCase{"LongerExtension", "z.jpeg", kPictures, false},
                    MaskCase{"NoExtension", "readme", kPictures, false},
                    MaskCase{"LoneStarTakesNoExtension", "readme", "*.JPG;*.BMP;*.GIF;*", true},
                    MaskCase{"StarDotStarTakesAll", "readme", "*.TXT;*.*", true},
                    MaskCase{"EmptyTakesNothing", "x.jpg", "", false},
                    MaskCase{"LastExtensionOnly", "a.jpg.txt", kPictures, false},
                    MaskCase{"TextBeforeStarIgnored", "q.jpg", "A*.JPG", true},
                    MaskCase{"SpaceAfterSemicolonHarmless", "q.bmp", "*.JPG; *.BMP", true},
                    MaskCase{"SpaceBeforeSemicolonTakesNothing", "q.jpg", "*.JPG ;*.BMP", false},
                    MaskCase{"AccentedExtensionNeedsAccentedMask", "x.čsv", "*.CSV", false},
                    MaskCase{"AccentedExtension", "x.čsv", "*.ČSV", true},
                    MaskCase{"DecomposedExtension", "x.c\u030Csv", "*.ČSV", true},
                    MaskCase{"DotFileIsAllExtension", ".profile", "*.PROFILE", true}),
    tovana::test::CaseLabel());

TEST(NonAlphaNum, KeepsTheExtensionWhole) {
    EXPECT_EQ(NonAlphaNumToUnderscore("a b.t-x"), "a_b.t-x");
    EXPECT_EQ(NonAlphaNumToUnderscore("no extension!"), "no_extension_");
}

}  // namespace
