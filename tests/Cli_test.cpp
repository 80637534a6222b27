// tovana-cli as scripts use it: the real program on real temporary trees.
#include <gtest/gtest.h>

#include <cstdlib>

#include "TovanaVersion.h"
#include "support/CaseLabel.h"
#include "support/RunProgram.h"
#include "support/TempTree.h"

namespace {

using tovana::test::ProgramResult;
using tovana::test::RunProgram;
using Tree = std::map<std::string, std::string>;

class CliTest : public testing::Test {
  protected:
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

TEST_F(CliTest, UsageErrorsExitWithTwo) {
    EXPECT_EQ(Cli({}).status, 2);
    EXPECT_EQ(Cli({"--upper", "--lower", tree.path()}).status, 2);
    EXPECT_EQ(Cli({"--no-such-option", tree.path()}).status, 2);
    EXPECT_EQ(Cli({""}).status, 2);
}

TEST_F(CliTest, HelpAndVersion) {
    const ProgramResult help = Cli({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--dry-run"), std::string::npos);
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

TEST_F(CliTest, MissingFolderIsReported) {
    const ProgramResult r = Cli({tree.path("missing")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot read folder"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.ends_with("0 souborů\n0 adresářů\n"));
}

struct ChosenCase {
    const char* label;
    const char* given;  // relative to the tree
    bool isFolder;
};

class CliChosenPath : public CliTest, public testing::WithParamInterface<ChosenCase> {};

// Delimiters at the end make no difference; a chosen path that is no folder is said to be
// none and nothing is renamed, the path itself least of all.
TEST_P(CliChosenPath, IsAFolderWithAnyDelimitersOrNothingIsRenamed) {
    tree.Add("Čaj/č.txt");
    tree.Add("Čaj.txt");
    tree.Add("Čajlink -> nowhere");
    const Tree before = tree.Snapshot();
    const ProgramResult r = Cli({"-s", "-d", tree.path(GetParam().given)});
    const std::string root = tree.path();
    if (GetParam().isFolder) {
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
        EXPECT_EQ(r.out, "Přejmenováno:\n\n0 souborů\n0 adresářů\n");
        EXPECT_EQ(tree.Snapshot(), before);
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, CliChosenPath,
                         testing::Values(ChosenCase{"Folder", "Čaj", true},
                                         ChosenCase{"OneDelimiter", "Čaj/", true},
                                         ChosenCase{"TwoDelimiters", "Čaj//", true},
                                         ChosenCase{"File", "Čaj.txt", false},
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

// ---- output that scripts can trust; journal and undo ----

class CliJournalTest : public CliTest {
  protected:
    CliJournalTest() { ::setenv("XDG_STATE_HOME", state.path().c_str(), 1); }
    tovana::test::TempTree state;  // this test's own journals
};

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

TEST_F(CliJournalTest, ADamagedJournalIsRefusedWithStatusTwo) {
    state.AddFile("broken.journal", "tovana-journal\t1\nplatform\tposix\nintent\t1\n");
    const ProgramResult r = Cli({"--undo", state.path("broken.journal")});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("is damaged (line 3: a damaged intent); nothing renamed"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(Cli({"--undo", "--history"}).status, 2);
    EXPECT_EQ(Cli({"--undo", tree.path()}).status, 2) << "JOURNAL, not FOLDER";
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
