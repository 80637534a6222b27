// tovana-cli as scripts use it: the real program on real temporary trees.
#include <gtest/gtest.h>

#include <cstdlib>

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
    std::string expected = real.out;
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
    EXPECT_EQ(version.out, "tovana-cli 1.2.0.18\n");
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

}  // namespace
