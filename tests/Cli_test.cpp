// tovana-cli as scripts use it: the real program on real temporary trees.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string_view>

#include "TovanaVersion.h"
#include "cli/CliText.h"
#include "journal/Escape.h"
#include "journal/Journal.h"
#include "names/SettingTable.h"
#include "support/CaseLabel.h"
#include "support/OneSetting.h"
#include "support/RunProgram.h"
#include "support/TempTree.h"

namespace {

using tovana::test::ProgramResult;
using tovana::test::RunProgram;
using Tree = std::map<std::string, std::string>;

class CliTest : public testing::Test {
  protected:
    // English messages unless a test asks for Czech ones.
    CliTest() {
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANGUAGE"}) {
            ::unsetenv(name);
        }
        ::setenv("LANG", "C.UTF-8", 1);
    }
    ProgramResult Cli(std::vector<std::string> args) {
        return RunProgram(TOVANA_CLI_PATH, std::move(args));
    }
    tovana::test::TempTree tree;
};

TEST_F(CliTest, PrintsOneLinePerAttemptThenTheSummary) {
    tree.Add("Léto/");
    tree.Add("Léto/Žluťoučký kůň.txt");
    tree.Add("C.txt");
    tree.Add("Č.txt");
    const ProgramResult r = Cli({"-s", "-d", "--replace-space", tree.path()});
    const std::string root = tree.path() + "/";
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.out.find("failed\t" + root + "Č.txt\tC.txt\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("file\t" + root +
                         "Léto/Žluťoučký kůň.txt\tZlutoucky_kun.txt\n"
                         "dir\t" +
                         root + "Léto\tLeto\n"),
              std::string::npos)
        << r.out;
    EXPECT_TRUE(r.out.ends_with("Přejmenováno:\n\n1 souborů\n1 adresářů\n")) << r.out;
    EXPECT_EQ(tree.Snapshot().at("Leto/Zlutoucky_kun.txt"), "Léto/Žluťoučký kůň.txt");
}

TEST_F(CliTest, SucceedsWithStatusZero) {
    tree.Add("ř.JPG");
    tree.Add("ž.txt");
    const ProgramResult r = Cli({"-m", "*.jpg", tree.path()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(tree.Snapshot(), (Tree{{"r.JPG", "ř.JPG"}, {"ž.txt", "ž.txt"}}));
}

TEST_F(CliTest, DryRunPrintsWhatARunWouldDoAndChangesNothing) {
    for (const char* entry : {"Á/Ě/č.txt", "Á/Ě/c.txt", "Á/ř.txt", "b.txt"}) {
        tree.Add(entry);
    }
    tovana::test::TempTree copy;
    std::filesystem::copy(tree.root(), copy.root(), std::filesystem::copy_options::recursive);
    const Tree before = tree.Snapshot();

    const ProgramResult dry = Cli({"-n", "-s", "-d", tree.path()});
    EXPECT_EQ(tree.Snapshot(), before);
    const ProgramResult real = Cli({"-s", "-d", copy.path()});
    std::string expected = real.out + "Dry run: nothing was renamed.\n";
    for (std::size_t at; (at = expected.find(copy.path())) != std::string::npos;) {
        expected.replace(at, copy.path().size(), tree.path());
    }
    EXPECT_EQ(dry.out, expected);
    EXPECT_EQ(dry.status, real.status);
    EXPECT_EQ(real.status, 1);  // č.txt collides with c.txt
}

struct UsageCase {
    const char* label;
    std::vector<std::string> args;  // "TREE" stands for the tree's path
    const char* says;
};

class CliUsage : public CliTest, public testing::WithParamInterface<UsageCase> {};

// A usage error renames nothing, exits with 2, and each of its lines starts with the program's
// name and says what to do differently.
TEST_P(CliUsage, ExitsWithTwoAndSaysWhy) {
    tree.Add("ř r_x.md");
    const Tree before = tree.Snapshot();
    std::vector<std::string> args = GetParam().args;
    for (std::string& arg : args) {
        if (arg == "TREE") {
            arg = tree.path();
        }
    }
    const ProgramResult r = Cli(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(GetParam().says), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("FAILED"), std::string::npos) << r.err;
    for (std::size_t at = 0; at < r.err.size(); at = r.err.find('\n', at) + 1) {
        EXPECT_EQ(r.err.compare(at, 12, "tovana-cli: "), 0) << r.err;
    }
    EXPECT_EQ(tree.Snapshot(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, CliUsage,
    testing::Values(
        UsageCase{"NoFolder", {}, "PATH is required"},
        UsageCase{"EmptyFolder", {""}, "PATH must not be empty"},
        UsageCase{"UnknownOption", {"-x", "TREE"}, "not expected: -x"},
        UsageCase{"UpperAndLower", {"--upper", "--lower", "TREE"}, "--lower"},
        UsageCase{"ReplaceSpaceAndUnderscore",
                  {"--replace-space", "--replace-underscore", "TREE"},
                  "--replace-underscore"},
        UsageCase{"UnknownCodePage",
                  {"--legacy", "foo", "TREE"},
                  "'foo' is not one of auto, cp1250, iso-8859-2, cp852, none"},
        UsageCase{"MaskWithSpaces", {"-m", "*.md *.txt", "TREE"}, "separate them with \";\""},
        UsageCase{"MaskWithCommas", {"-m", "*.md,*.txt", "TREE"}, "separate them with \";\""},
        UsageCase{"MaskWithoutStar", {"-m", "md", "TREE"}, "not a list of *.EXT patterns"}),
    tovana::test::CaseLabel());

TEST_F(CliTest, MasksSeparatedBySemicolonsTakeEachType) {
    for (const char* name : {"ř.md", "ž.TXT", "č.jpg", "š"}) {
        tree.Add(name);
    }
    EXPECT_EQ(Cli({"-m", "*.md;*.txt;", tree.path()}).status, 0);
    EXPECT_EQ(tree.Snapshot(),
              (Tree{{"r.md", "ř.md"}, {"z.TXT", "ž.TXT"}, {"č.jpg", "č.jpg"}, {"š", "š"}}));
    EXPECT_EQ(Cli({"-m", "*.*", tree.path()}).status, 0);
    EXPECT_EQ(tree.Snapshot().count("c.jpg"), 1u);
}

// Scripts that read only the rows drop the summary.
TEST_F(CliTest, QuietLeavesOnlyTheRows) {
    tree.Add("ř.txt");
    const ProgramResult r = Cli({"-q", "-n", tree.path()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "file\t" + tree.path() + "/ř.txt\tr.txt\n");
    EXPECT_EQ(r.err, "");
}

// Characters, not bytes: the help holds Czech letters.
std::size_t Columns(std::string_view line) {
    return static_cast<std::size_t>(std::count_if(line.begin(), line.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

TEST_F(CliTest, HelpAndVersion) {
    const ProgramResult help = Cli({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: tovana-cli ")) << help.out;
    for (std::size_t at = 0; at < help.out.size();) {
        const std::size_t end = help.out.find('\n', at);
        ASSERT_NE(end, std::string::npos);
        const std::string_view line = std::string_view(help.out).substr(at, end - at);
        EXPECT_LE(Columns(line), 80u) << line;
        at = end + 1;
    }
    for (const char* option : {"--subdirs",
                               "--dirs",
                               "--mask",
                               "--replace-space",
                               "--remove-space",
                               "--replace-underscore",
                               "--remove-underscore",
                               "--non-alnum",
                               "--upper",
                               "--lower",
                               "--legacy",
                               "--fix-mojibake",
                               "--saved",
                               "--dry-run",
                               "--quiet",
                               "--null",
                               "--undo",
                               "--history",
                               "--no-journal",
                               "--version"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
    for (const char* word : {"TEXT", "Excludes", "BOOLEAN", "FLAG", "OR {", "->"}) {
        EXPECT_EQ(help.out.find(word), std::string::npos) << word;
    }
    // Three examples end it: preview a folder, rename it, undo it.
    const std::size_t examples = help.out.rfind("\nExamples:\n");
    ASSERT_NE(examples, std::string::npos);
    const std::string tail = help.out.substr(examples + 11);
    EXPECT_EQ(std::count(tail.begin(), tail.end(), '\n'), 3) << tail;
    EXPECT_NE(tail.find("tovana-cli -n "), std::string::npos) << tail;
    EXPECT_NE(tail.find("tovana-cli --undo"), std::string::npos) << tail;
    const ProgramResult version = Cli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("tovana-cli ") + TOVANA_VERSION + "\n");
}

TEST_F(CliTest, IneffectiveFlagDrawsAWarning) {
    tree.Add("a b_c.txt");
    const ProgramResult r = Cli({"--replace-space", "--remove-space", tree.path()});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("--remove-space has no effect together with --replace-space"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(tree.Snapshot(), (Tree{{"a_b_c.txt", "a b_c.txt"}}));
}

struct ChosenCase {
    const char* label;
    const char* given;  // relative to the tree
    bool isFolder;
    bool isNamedFile = false;  // a file named as it is: renamed itself
};

class CliChosenPath : public CliTest, public testing::WithParamInterface<ChosenCase> {};

// Delimiters at the end make no difference; a file named as it is gets renamed itself; any
// other chosen path that is no folder is said to be none and nothing is renamed, the path
// itself least of all.
TEST_P(CliChosenPath, IsAFolderWithAnyDelimitersANamedFileOrNothingIsRenamed) {
    tree.Add("Čaj/č.txt");
    tree.Add("Čaj.txt");
    tree.Add("Čajlink -> nowhere");
    const Tree before = tree.Snapshot();
    const ProgramResult r = Cli({"-s", "-d", tree.path(GetParam().given)});
    const std::string root = tree.path();
    if (GetParam().isNamedFile) {
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "file\t" + root +
                             "/Čaj.txt\tCaj.txt\nPřejmenováno:\n\n1 souborů\n0 "
                             "adresářů\n");
        Tree after = before;
        after.erase("Čaj.txt");
        after["Caj.txt"] = "Čaj.txt";
        EXPECT_EQ(tree.Snapshot(), after);
    } else if (GetParam().isFolder) {
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "file\t" + root + "/Čaj/č.txt\tc.txt\ndir\t" + root +
                             "/Čaj\tCaj\nPřejmenováno:\n\n1 souborů\n1 adresářů\n");
        Tree after = before;
        after.erase("Čaj/");
        after.erase("Čaj/č.txt");
        after["Caj/"] = "";
        after["Caj/c.txt"] = "Čaj/č.txt";
        EXPECT_EQ(tree.Snapshot(), after);
    } else {
        EXPECT_EQ(r.status, 1);
        std::string given = tree.path(GetParam().given);
        while (given.ends_with("/")) {
            given.pop_back();
        }
        EXPECT_EQ(r.err, "tovana-cli: '" + given + "' is not a folder\n");
        EXPECT_EQ(r.out, "") << "no summary of a run that did not take place";
        EXPECT_EQ(tree.Snapshot(), before);
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, CliChosenPath,
                         testing::Values(ChosenCase{"Folder", "Čaj", true},
                                         ChosenCase{"OneDelimiter", "Čaj/", true},
                                         ChosenCase{"TwoDelimiters", "Čaj//", true},
                                         ChosenCase{"File", "Čaj.txt", false, true},
                                         ChosenCase{"FileWithDelimiter", "Čaj.txt/", false},
                                         ChosenCase{"DanglingLink", "Čajlink", false}),
                         tovana::test::CaseLabel());

TEST_F(CliTest, SavedStartsFromTheWindowsStoredOptions) {
    tovana::test::TempTree config;
    config.AddFile("Korvel/Tovana.reg",
                   "Windows Registry Editor Version 5.00\n\n"
                   "[HKEY_CURRENT_USER\\Software\\Korvel\\Tovana]\n"
                   "\"Path\"=\"" +
                       tree.path() +
                       "\"\n"
                       "\"Masks\"=\"*.TXT\"\n"
                       "\"ReplaceSpace\"=dword:00000001\n");
    tree.Add("a č.txt");
    tree.Add("b ř.jpg");
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    const ProgramResult r = Cli({"--saved", "--upper"});
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(tree.Snapshot(), (Tree{{"A_C.TXT", "a č.txt"}, {"b ř.jpg", "b ř.jpg"}}));
}

TEST_F(CliTest, SavedWithAMistypedValueSaysWhich) {
    tovana::test::TempTree config;
    config.AddFile("Korvel/Tovana.reg", "\"SubDir\"=\"1\"\n");
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    const ProgramResult r = Cli({"--saved", tree.path()});
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Invalid data type for 'SubDir'"), std::string::npos) << r.err;
}

// ---- the user's language ----

class CliLanguageTest : public CliTest {
  protected:
    void SetUp() override {
        const std::string before = std::setlocale(LC_MESSAGES, nullptr);
        if (std::setlocale(LC_MESSAGES, "cs_CZ.UTF-8") == nullptr) {
            GTEST_SKIP() << "the cs_CZ.UTF-8 locale is not made here (scripts/setup makes it)";
        }
        std::setlocale(LC_MESSAGES, before.c_str());
    }
};

// Under a Czech locale every word of the program is Czech, the system's own error texts
// included; the summary stays the window's; under C all is English.
TEST_F(CliLanguageTest, MessagesHelpAndTheDryRunLineFollowTheLocale) {
    tree.Add("ř.txt");
    struct Case {
        const char* lang;
        const char* help;
        const char* missing;
        const char* dryRun;
    };
    for (const Case& c :
         {Case{"cs_CZ.UTF-8", "Použití: tovana-cli [VOLBA]... CESTA...\n",
               "tovana-cli: složku '%1' nelze přečíst: Adresář nebo soubor neexistuje\n",
               "Náhled: nic nebylo přejmenováno.\n"},
          Case{"C.UTF-8", "Usage: tovana-cli [OPTION]... PATH...\n",
               "tovana-cli: cannot read folder '%1': No such file or directory\n",
               "Dry run: nothing was renamed.\n"}}) {
        ::setenv("LANG", c.lang, 1);
        EXPECT_TRUE(Cli({"--help"}).out.starts_with(c.help)) << c.lang;
        std::string missing = c.missing;
        missing.replace(missing.find("%1"), 2, tree.path("chybí"));
        EXPECT_EQ(Cli({tree.path("chybí")}).err, missing);
        const ProgramResult dry = Cli({"-n", tree.path()});
        EXPECT_TRUE(
            dry.out.ends_with(std::string("Přejmenováno:\n\n1 souborů\n0 adresářů\n") + c.dryRun))
            << c.lang << ": " << dry.out;
        const ProgramResult usage = Cli({"--legacy", "x", tree.path()});
        EXPECT_EQ(usage.status, 2);
        EXPECT_NE(usage.err.find(c.lang[0] == 'c' ? "není žádné z" : "is not one of"),
                  std::string::npos)
            << usage.err;
    }
}

// The catalogue Windows builds into the program, read as the program reads it.
TEST(MessageCatalogue, FindsEachTranslationAndNothingElse) {
    std::ifstream file(TOVANA_CLI_CATALOGUE, std::ios::binary);
    ASSERT_TRUE(file) << TOVANA_CLI_CATALOGUE;
    const std::string bytes((std::istreambuf_iterator<char>(file)), {});
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const tovana::MessageCatalogue catalogue(data, bytes.size());
    ASSERT_NE(catalogue.Find("permission denied"), nullptr);
    EXPECT_STREQ(catalogue.Find("permission denied"), "přístup odepřen");
    EXPECT_STREQ(catalogue.Find("Dry run: nothing was renamed."),
                 "Náhled: nic nebylo přejmenováno.");
    EXPECT_EQ(catalogue.Find("no such message"), nullptr);
    EXPECT_EQ(catalogue.Find(""), nullptr) << "the header is no translation";
    // Cut short or not a catalogue at all: nothing is found, nothing is read outside.
    EXPECT_EQ(tovana::MessageCatalogue(data, 100).Find("permission denied"), nullptr);
    const unsigned char junk[64] = {1, 2, 3};
    EXPECT_EQ(tovana::MessageCatalogue(junk, sizeof junk).Find("permission denied"), nullptr);
}

// ---- output that scripts can trust; journal and undo ----

class CliJournalTest : public CliTest {
  protected:
    CliJournalTest() { ::setenv("XDG_STATE_HOME", state.path().c_str(), 1); }
    tovana::test::TempTree state;  // this test's own journals
};

// Each of the eleven inputs alone, walked through the one table: its option on the command
// line reaches the run, whose journal records it under its name and reads it back.
class CliSettingRow : public CliJournalTest,
                      public testing::WithParamInterface<tovana::SettingRow> {};

TEST_P(CliSettingRow, ReachesTheRunAndItsJournal) {
    const tovana::SettingRow& row = GetParam();
    tree.Add("Žába.txt");
    const tovana::RenameOptions expected = tovana::test::WithOneSetting(
        row.name, std::filesystem::canonical(tree.path()).string(), "*.TXT");
    std::vector<std::string> args;
    if (row.setting == tovana::Setting::Masks) {
        args = {"--mask", "*.txt"};
    } else if (row.on != nullptr) {
        args = {std::string(tovana::LongFlag(row))};
    }
    args.push_back(tree.path());
    const ProgramResult r = Cli(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(tree.Snapshot().count("Žába.txt"), 0u) << "the run renamed nothing";

    std::error_code error;
    const std::vector<tovana::JournalSummary> history =
        tovana::History(*tovana::JournalStore::ForCurrentUser(), error);
    ASSERT_EQ(history.size(), 1u) << error.message();
    tovana::Journal journal;
    std::string detail;
    ASSERT_EQ(tovana::ReadJournal(history[0].Path, journal, detail), tovana::JournalProblem::None)
        << detail;
    EXPECT_EQ(journal.Options, expected);
}

INSTANTIATE_TEST_SUITE_P(Eleven, CliSettingRow, testing::ValuesIn(tovana::kSettings),
                         [](const testing::TestParamInfo<tovana::SettingRow>& row) {
                             return std::string(row.param.name);
                         });

TEST_F(CliJournalTest, ControlCharactersInNamesAreEscapedInRowsAndRawWithNull) {
    tree.AddFile("a\nb\t\\č.txt", "x");
    const ProgramResult dry = Cli({"-n", tree.path()});
    EXPECT_EQ(dry.out, "file\t" + tree.path() +
                           "/a\\nb\\t\\\\č.txt\ta\\nb\\t\\\\c.txt\n"
                           "Přejmenováno:\n\n1 souborů\n0 adresářů\n"
                           "Dry run: nothing was renamed.\n");
    const ProgramResult null = Cli({"-n", "-0", tree.path()});
    EXPECT_EQ(null.out, std::string("file\0", 5) + tree.path() + "/a\nb\t\\č.txt" +
                            std::string("\0", 1) + "a\nb\t\\c.txt" + std::string("\0", 1));
    EXPECT_NE(null.err.find("Dry run: nothing was renamed."), std::string::npos) << null.err;
}

// Rows of the entries of one folder show its path once made for them all: each row's path is
// still its own path escaped whole, also for folders whose names differ only in an escaped
// byte, end in a byte that starts a UTF-8 sequence, or hold entries that begin with a lone
// continuation byte.
TEST_F(CliJournalTest, EachRowShowsItsOwnPathEscapedWhole) {
    std::set<std::string> paths;
    for (const std::string folder : {"a\x01", "a\x02", "a\xC3", "a\xC2\x9B", "b"}) {
        for (const std::string name : {"\x80x.txt", "Č č.txt", "\x9B.txt"}) {
            tree.Add(folder + "/" + name);
        }
        paths.insert(tree.path(folder + "/Č č.txt"));  // renamed in any reading
    }
    // Folders one inside another: their rows come from the deepest up.
    for (const std::string folder :
         {"a\xC3/\x01 x", "a\xC3/\x01 x/\xC2\x9B y", "a\xC3/\x01 x/\xC2\x9B y/\xE2"}) {
        tree.Add(folder + "/Č č.txt");
        paths.insert(tree.path(folder + "/Č č.txt"));
    }
    const ProgramResult r = Cli({"-n", "-s", "-d", "--replace-space", tree.path()});
    std::set<std::string> shown;
    std::istringstream rows(r.out);
    for (std::string row; std::getline(rows, row) && row.find('\t') != std::string::npos;) {
        const std::string field =
            row.substr(row.find('\t') + 1, row.rfind('\t') - row.find('\t') - 1);
        std::string path;
        ASSERT_TRUE(tovana::UnescapeField(field, path)) << row;
        EXPECT_EQ(field, tovana::EscapeField(path)) << row;
        shown.insert(path);
    }
    for (const std::string& path : paths) {
        EXPECT_EQ(shown.count(path), 1u) << path << "\n" << r.out;
    }
}

// U+009B (CSI, two bytes in UTF-8) and a lone byte 0x9B, both taken by some terminals for the
// start of a control sequence, are escaped in rows, on stderr and in --history; U+0160 (whose
// second byte is 0xA0) and "Č" (0x8C) stay as they are.
TEST_F(CliJournalTest, C1ControlCharactersAreEscapedInRowsStderrAndHistory) {
    const std::string folder = "Š\xC2\x9B[2J";
    tree.Add(folder + "/Ř\xC2\x9B.txt");
    tree.Add(folder + "/R\xC2\x9B.txt");
    tree.Add(folder + "/ž\xC2\x85.txt");
    tree.Add(folder + "/a\x9B.txt");  // read in a code page, whichever the run chooses
    const std::string shown = tree.path() + "/Š\\xC2\\x9B[2J/";
    const ProgramResult r = Cli({tree.path(folder)});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.out.find("failed\t" + shown + "Ř\\xC2\\x9B.txt\tR\\xC2\\x9B.txt\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("file\t" + shown + "ž\\xC2\\x85.txt\tz\\xC2\\x85.txt\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("file\t" + shown + "a\\x9B.txt\t"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("tovana-cli: cannot rename '" + shown +
                         "Ř\\xC2\\x9B.txt' to 'R\\xC2\\x9B.txt': an entry with the new name "
                         "already exists\n"),
              std::string::npos)
        << r.err;
    const ProgramResult history = Cli({"--history"});
    EXPECT_NE(history.out.find("\t" + tree.path() + "/Š\\xC2\\x9B[2J\t"), std::string::npos)
        << history.out;
    for (const std::string* text : {&r.out, &r.err, &history.out}) {
        EXPECT_EQ(text->find("\xC2\x9B"), std::string::npos) << *text;
        EXPECT_EQ(text->find("\x9B."), std::string::npos) << *text;
    }
    EXPECT_EQ(Cli({"--undo"}).status, 0);
    EXPECT_EQ(tree.Snapshot().count(folder + "/ž\xC2\x85.txt"), 1u);
}

// The journals kept inside the tree a run walks (XDG_STATE_HOME in it, reached through a link
// so that only their identity tells them): the run leaves them and the folders holding them
// alone, says so, and history and undo still know every run.
TEST_F(CliJournalTest, ARunNeverRenamesItsOwnJournals) {
    tree.Add("Dům/Žába č.1.txt");
    tree.Add("Místní Data/");
    tree.Add("odkaz -> Místní Data");
    ::setenv("XDG_STATE_HOME", tree.path("odkaz/Stav").c_str(), 1);
    const auto user = [&] {
        Tree files = tree.Snapshot();
        std::erase_if(files, [](const auto& e) { return e.first.starts_with("Místní Data"); });
        return files;
    };
    const Tree before = user();
    for (const char* option : {"--non-alnum", "--lower"}) {
        const ProgramResult r = Cli({"-s", "-d", "--replace-space", option, tree.path()});
        EXPECT_EQ(r.status, 0) << option << r.err;
        EXPECT_EQ(r.err, "tovana-cli: note: the journals' folder '" + tree.path("odkaz/Stav") +
                             "/Korvel/Tovana/journal' is in the tree: it is not walked into, "
                             "and neither it nor the folders holding it are renamed\n");
    }
    EXPECT_NE(user(), before);
    ASSERT_TRUE(std::filesystem::is_directory(tree.path("Místní Data/Stav/Korvel/Tovana/journal")));
    const ProgramResult history = Cli({"--history"});
    EXPECT_EQ(std::count(history.out.begin(), history.out.end(), '\n'), 2) << history.out;

    // Run over the state folder itself: nothing inside is touched.
    const ProgramResult inside = Cli({"-s", "-d", "--upper", tree.path("Místní Data/Stav")});
    EXPECT_NE(inside.err.find("is in the tree"), std::string::npos) << inside.err;
    for (int undo = 0; undo < 5 && Cli({"--undo"}).status == 0; ++undo) {
    }
    EXPECT_EQ(user(), before);
}

TEST_F(CliJournalTest, AFailedRenameIsExplainedOnStderr) {
    tree.Add("C.txt");
    tree.Add("Č.txt");
    const ProgramResult r = Cli({tree.path()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tovana-cli: cannot rename '" + tree.path() +
                         "/Č.txt' to 'C.txt': an entry with the new name already exists\n");
}

TEST_F(CliJournalTest, UndoPutsTheRunBackAndHistoryTellsWhatWasUndone) {
    tree.Add("Léto/ž ž.txt");
    tree.Add("Léto/Ěčko/ř.txt");
    const Tree before = tree.Snapshot();
    ASSERT_EQ(Cli({"-s", "-d", "--replace-space", tree.path("Léto")}).status, 0);
    const Tree afterRun = tree.Snapshot();

    const ProgramResult dry = Cli({"--undo", "-n"});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_TRUE(dry.out.ends_with("Dry run: nothing was renamed.\n")) << dry.out;
    EXPECT_EQ(tree.Snapshot(), afterRun);

    const ProgramResult undo = Cli({"--undo"});
    EXPECT_EQ(undo.status, 0) << undo.err;
    EXPECT_TRUE(undo.out.starts_with("dir\t" + tree.path("Leto") + "\tLéto\n")) << undo.out;
    EXPECT_EQ(tree.Snapshot(), before);
    const ProgramResult nothing = Cli({"--undo"});
    EXPECT_EQ(nothing.status, 1);
    EXPECT_NE(nothing.err.find("nothing to undo"), std::string::npos) << nothing.err;

    const ProgramResult history = Cli({"--history"});
    EXPECT_EQ(history.status, 0);
    const std::string runLine = "\trun\tundone\t2\t2\t0\t" + tree.path("Léto") + "\t";
    const std::string undoLine = "\tundo\tdone\t2\t2\t0\t" + tree.path("Léto") + "\t";
    EXPECT_NE(history.out.find(runLine), std::string::npos) << history.out;
    EXPECT_NE(history.out.find(undoLine), std::string::npos) << history.out;
}

// The start of each run in local time, in the user's language; -0 keeps the journal's stamp.
TEST_F(CliJournalTest, HistoryGivesTheStartInLocalTime) {
    state.AddFile("Korvel/Tovana/journal/2026-12-10_14-09-26.073808.journal",
                  "tovana-journal\t1\nplatform\tposix\nstarted\t2026-12-10T14:09:26.073808Z\n");
    ::setenv("TZ", "CET-1", 1);
    struct Case {
        const char* lang;
        const char* shown;
    };
    for (const Case c :
         {Case{"cs_CZ.UTF-8", "10. 12. 2026 15:09\t"}, Case{"C", "2026-12-10 15:09\t"}}) {
        ::setenv("LANG", c.lang, 1);
        const ProgramResult history = Cli({"--history"});
        EXPECT_TRUE(history.out.starts_with(c.shown)) << c.lang << ": " << history.out;
    }
    const ProgramResult null = Cli({"--history", "-0"});
    EXPECT_TRUE(null.out.starts_with(std::string("2026-12-10T14:09:26.073808Z\0", 28))) << null.out;
    ::unsetenv("TZ");
}

// A chosen folder that is not there is said to be missing; no run took place, so there is no
// summary and no journal.
TEST_F(CliJournalTest, AMissingFolderIsReportedAndNotJournaled) {
    const ProgramResult r = Cli({tree.path("missing")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tovana-cli: cannot read folder '" + tree.path("missing") +
                         "': No such file or directory\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Cli({"--history"}).out, "");
}

// Options that cancel each other in a stored record keep the window's rule: neither acts, and
// a warning says so.
TEST_F(CliJournalTest, SavedOptionsThatCancelEachOtherDrawAWarning) {
    tovana::test::TempTree config;
    config.AddFile("Korvel/Tovana.reg", "\"Masks\"=\"*.*\"\n\"ReplaceSpace\"=dword:00000001\n");
    tree.Add("a b_č.txt");
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    const ProgramResult r = Cli({"--saved", "--replace-underscore", tree.path()});
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("warning: --replace-space has no effect"), std::string::npos) << r.err;
    EXPECT_EQ(tree.Snapshot(), (Tree{{"a b_c.txt", "a b_č.txt"}}));
}

TEST_F(CliJournalTest, ADamagedJournalIsRefusedWithStatusTwo) {
    state.AddFile("broken.journal", "tovana-journal\t1\nplatform\tposix\nintent\t1\n");
    const ProgramResult r = Cli({"--undo", state.path("broken.journal")});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("is damaged (line 3: a damaged intent); nothing renamed"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(Cli({"--undo", "--history"}).status, 2);
    EXPECT_EQ(Cli({"--undo", tree.path()}).status, 2) << "JOURNAL, not PATH";
}

TEST_F(CliJournalTest, AJournalThatCannotBeWrittenIsToldOnceAndTheRunGoesOn) {
    state.AddFile("Korvel", "a file where the state folder should be");
    tree.Add("ř.txt");
    tree.Add("ž.txt");
    const ProgramResult r = Cli({tree.path()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(tree.Snapshot(), (Tree{{"r.txt", "ř.txt"}, {"z.txt", "ž.txt"}}));
    EXPECT_TRUE(r.err.starts_with("tovana-cli: warning: cannot write the journal")) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "said once: " << r.err;
    EXPECT_EQ(Cli({"--no-journal", tree.path()}).err, "");
}

}  // namespace
