#include "names/LegacyText.h"

#include <gtest/gtest.h>

#include "names/RenameRules.h"
#include "support/CaseLabel.h"

namespace {

using tovana::LegacyCodePage;

// "Příliš žluťoučký.txt" in each code page.
const std::string kCp1250 = "P\xf8\xedli\x9a \x9elu\x9dou\xe8k\xfd.txt";
const std::string kIso = "P\xf8\xedli\xb9 \xbelu\xbbou\xe8k\xfd.txt";
const std::string kCp852 = "P\xfd\xa1li\xe7 \xa7lu\x9cou\x9fk\xec.txt";
const std::string kWord = "Příliš žluťoučký.txt";

struct ChoiceCase {
    const char* label;
    std::vector<std::string> names;
    LegacyCodePage expected;
};

class Choosing : public testing::TestWithParam<ChoiceCase> {};

TEST_P(Choosing, PicksTheCodePageThatReadsAllNames) {
    EXPECT_EQ(tovana::ChooseLegacyCodePage(GetParam().names), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, Choosing,
    testing::Values(
        ChoiceCase{"Cp1250Sentence", {kCp1250}, LegacyCodePage::Cp1250},
        ChoiceCase{"IsoSentence", {kIso}, LegacyCodePage::Iso8859_2},
        ChoiceCase{"Cp852Sentence", {kCp852}, LegacyCodePage::Cp852},
        // š alone is ą in Windows-1250: a Polish letter, but not one of these Czech words.
        ChoiceCase{"IsoWordsWithOnlySAndAcute",
                   {"\xb9\xe1lek",
                    "m\xed\xb9"
                    "a"},
                   LegacyCodePage::Iso8859_2},
        // 0x9A (š) is a control character in ISO 8859-2, which rules it out for the folder.
        ChoiceCase{"ControlByteRulesOut",
                   {"\xb9\xe1lek", "\x9a\xe1lek", "\xb9\xedp"},
                   LegacyCodePage::Cp1250},
        ChoiceCase{"Cp852Folder",
                   {"\xfd"
                    "eka",
                    "\x9f"
                    "aj",
                    "d\xa9ti"},
                   LegacyCodePage::Cp852},
        ChoiceCase{"Utf8NamesPlayNoPart",
                   {"čaj", "řeka",
                    "\x9f"
                    "aj"},
                   LegacyCodePage::Cp852},
        ChoiceCase{"TieGoesToCp1250",
                   {"\xe8"
                    "aj"},
                   LegacyCodePage::Cp1250},
        ChoiceCase{"NoLegacyNames", {}, LegacyCodePage::Cp1250}),
    tovana::test::CaseLabel());

TEST(LegacyText, EachCodePageReadsItsSpellingOfTheSentence) {
    for (const auto& [bytes, codePage] :
         {std::pair{kCp1250, LegacyCodePage::Cp1250}, std::pair{kIso, LegacyCodePage::Iso8859_2},
          std::pair{kCp852, LegacyCodePage::Cp852}}) {
        const auto chars = tovana::DecodeLegacy(bytes, codePage);
        ASSERT_TRUE(chars.has_value()) << tovana::LegacyCodePageName(codePage);
        EXPECT_EQ(tovana::EncodeName(*chars), kWord);
        EXPECT_EQ(tovana::BestCodePageFor(bytes), codePage);
    }
    EXPECT_FALSE(tovana::DecodeLegacy(kCp1250, LegacyCodePage::Iso8859_2).has_value());
}

TEST(LegacyText, RunReadingFallsBackOnlyForANameItCannotRead) {
    const tovana::LegacyReading run{LegacyCodePage::Cp1250, true};
    // A CP852 name in a Windows-1250 run reads as signs there, so it takes its own best.
    EXPECT_EQ(tovana::CodePageFor(kCp852, run), LegacyCodePage::Cp852);
    // "čaj" in CP852 (0x9F) reads as "źaj" in Windows-1250: a letter, so the run's choice holds.
    EXPECT_EQ(tovana::CodePageFor("\xe8"
                                  "aj",
                                  run),
              LegacyCodePage::Cp1250);
    // Told exactly, a name the code page cannot read stays bytes.
    EXPECT_EQ(tovana::CodePageFor(kCp1250, {LegacyCodePage::Iso8859_2, false}),
              LegacyCodePage::None);
    EXPECT_EQ(tovana::CodePageFor(kCp1250, {LegacyCodePage::None, false}), LegacyCodePage::None);
}

TEST(LegacyText, ReadNameLeavesUtf8AndUnreadableBytesAlone) {
    const tovana::LegacyReading autoReading = tovana::ReadingFor(LegacyCodePage::Auto);
    EXPECT_EQ(tovana::EncodeName(tovana::ReadName("Příliš.txt", autoReading)), "Příliš.txt");
    EXPECT_EQ(
        tovana::EncodeName(tovana::ReadName(kCp1250, tovana::ReadingFor(LegacyCodePage::None))),
        kCp1250);
    // 0x90 is unassigned in Windows-1250, a control in ISO 8859-2, É in CP852.
    EXPECT_EQ(tovana::EncodeName(tovana::ReadName("\x90va", {LegacyCodePage::Cp1250, false})),
              "\x90va");
}

TEST(LegacyText, ReadablePathReadsEachNameOnItsOwn) {
    const tovana::LegacyReading autoReading = tovana::ReadingFor(LegacyCodePage::Auto);
    EXPECT_EQ(tovana::ReadablePath("/home/jana/Léto/" + kCp852, autoReading),
              "/home/jana/Léto/" + kWord);
    EXPECT_EQ(tovana::ReadablePath("/tmp/\xe8"
                                   "aj/x",
                                   tovana::ReadingFor(LegacyCodePage::None)),
              "/tmp/\\xE8aj/x");
    EXPECT_EQ(tovana::ReadablePath("C:\\Účty\\léto", autoReading), "C:\\Účty\\léto");
}

TEST(LegacyText, NamesOfTheCommandLine) {
    for (LegacyCodePage codePage :
         {LegacyCodePage::None, LegacyCodePage::Auto, LegacyCodePage::Cp1250,
          LegacyCodePage::Iso8859_2, LegacyCodePage::Cp852}) {
        EXPECT_EQ(tovana::ParseLegacyCodePage(tovana::LegacyCodePageName(codePage)), codePage);
    }
    EXPECT_FALSE(tovana::ParseLegacyCodePage("cp1252").has_value());
}

struct MojibakeCase {
    const char* label;
    std::string name;
    std::optional<std::string> repaired;
};

class Mojibake : public testing::TestWithParam<MojibakeCase> {};

TEST_P(Mojibake, RepairsOnlyDamagedNames) {
    EXPECT_EQ(tovana::RepairMojibake(GetParam().name), GetParam().repaired);
}

INSTANTIATE_TEST_SUITE_P(
    Names, Mojibake,
    testing::Values(
        MojibakeCase{"Cp1250Sentence", "PĹ™Ă\u00ADliĹˇ ĹľluĹĄouÄŤkĂ˝.txt", kWord},
        MojibakeCase{"IsoSentence",
                     "P\u0139\u0099\u0102\u00ADli\u0139\u0104 "
                     "\u0139\u017Elu\u0139\u013Dou\u00C4\u008Dk\u0102\u02DD.txt",
                     kWord},
        MojibakeCase{"Cp852Sentence",
                     "P\u253C\u00D6\u251C\u015Fli\u253C\u00ED "
                     "\u253C\u017Clu\u253C\u0105ou\u2500\u0179k\u251C\u017B.txt",
                     kWord},
        MojibakeCase{"CapitalAtTheStart", "ÄŚas", "Čas"},
        MojibakeCase{"TwoSlovakLettersForOneCzech", "Ĺľena", "žena"},
        MojibakeCase{"GermanUmlaut", "Ă„gypten", "Ägypten"},
        MojibakeCase{"SlovakCapitalLAloneStays", "ĹADOVEC", std::nullopt},
        MojibakeCase{"SoundCzechStays", "Příliš žluťoučký kůň", std::nullopt},
        MojibakeCase{"SoundSlovakStays", "Ľubovňa vĺča", std::nullopt},
        MojibakeCase{"SoundPolishStays", "Łódź źdźbło", std::nullopt},
        MojibakeCase{"SoundHungarianStays", "Győr műszaki", std::nullopt},
        MojibakeCase{"SoundGermanStays", "Straße Übung", std::nullopt},
        MojibakeCase{"SoundFrenchStays", "élève façade", std::nullopt},
        MojibakeCase{"AsciiStays", "plain.txt", std::nullopt},
        MojibakeCase{"InvalidUtf8Stays", "\xc5\x99\xff", std::nullopt},
        // Written back, these form UTF-8, but of characters no name of these languages holds.
        MojibakeCase{"RepairIntoForeignScriptRefused", "ĐşĐ", std::nullopt}),
    tovana::test::CaseLabel());

struct HiddenCase {
    const char* label;
    const char* name;
    bool nonAlphaNum;
    bool removeSpace;
    bool removeUnderline;
    const char* whereDotHides;
    const char* elsewhere;
};

class LeadingDot : public testing::TestWithParam<HiddenCase> {};

TEST_P(LeadingDot, KeptWhereItHides) {
    const HiddenCase& c = GetParam();
    tovana::RenameOptions o;
    o.NonAlphaNum = c.nonAlphaNum;
    o.RemoveSpace = c.removeSpace;
    o.RemoveUnderline = c.removeUnderline;
    tovana::NameReading reading = tovana::ReadingOf(o);
    reading.leadingDotHides = true;
    EXPECT_EQ(tovana::Rewrite(c.name, false, o, reading), c.whereDotHides);
    reading.leadingDotHides = false;
    EXPECT_EQ(tovana::Rewrite(c.name, false, o, reading), c.elsewhere);
}

INSTANTIATE_TEST_SUITE_P(
    Names, LeadingDot,
    testing::Values(
        HiddenCase{"ConfigStaysHidden", ".config.json", true, false, false, ".config.json",
                   "_config.json"},
        HiddenCase{"RulesActOnTheRest", ".moje-fotky č.txt", true, false, false,
                   ".moje_fotky_c.txt", "_moje_fotky_c.txt"},
        HiddenCase{"ProfileAsTheWindowKeepsIt", ".profile", true, false, false, ".profile",
                   ".profile"},
        // The rules may still make a visible name start with a dot; the run refuses that.
        HiddenCase{"SpaceBeforeDot", " .bashrc", false, true, false, ".bashrc", ".bashrc"},
        HiddenCase{"UnderscoreBeforeDot", "_.jpg", false, false, true, ".jpg", ".jpg"}),
    tovana::test::CaseLabel());

TEST(LegacyText, RewriteReadsLegacyNamesAndRepairsOnRequest) {
    tovana::RenameOptions o;
    EXPECT_EQ(tovana::Rewrite(kCp1250, false, o), "Prilis zlutoucky.txt");
    EXPECT_EQ(tovana::Rewrite(kCp852, false, o), "Prilis zlutoucky.txt");
    EXPECT_EQ(tovana::Rewrite(kIso, false, o), "Prilis zlutoucky.txt");
    o.Legacy = LegacyCodePage::None;
    EXPECT_EQ(tovana::Rewrite(kCp852, false, o), kCp852);
    o.Masks = "*.ČSV";
    o.Legacy = LegacyCodePage::Cp1250;
    EXPECT_EQ(tovana::Rewrite("x.\xe8sv", false, o), "x.csv");

    tovana::RenameOptions m;
    const std::string damaged = "ÄŚas.txt";
    EXPECT_EQ(tovana::Rewrite(damaged, false, m), "ASas.txt");
    m.FixMojibake = true;
    EXPECT_EQ(tovana::Rewrite(damaged, false, m), "Cas.txt");
}

}  // namespace
