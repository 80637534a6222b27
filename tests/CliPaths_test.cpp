// tovana-cli given several paths: folders walked in turn, named files renamed, each path once,
// one summary, one journal and one undo for the whole run.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/RunProgram.h"
#include "support/TempTree.h"

namespace {

using tovana::test::ProgramResult;
using tovana::test::RunProgram;
using Tree = std::map<std::string, std::string>;

class CliPaths : public testing::Test {
  protected:
    CliPaths() { ::setenv("XDG_STATE_HOME", state.path().c_str(), 1); }
    ProgramResult Cli(std::vector<std::string> args) {
        return RunProgram(TOVANA_CLI_PATH, std::move(args));
    }
    // The program started in `folder`, so that relative paths are relative to it.
    ProgramResult CliIn(const std::string& folder, const std::string& args) {
        return RunProgram("/bin/sh",
                          {"-c", "cd '" + folder + "' && exec '" TOVANA_CLI_PATH "' " + args});
    }
    std::size_t Journals() {
        std::size_t count = 0;
        for (const auto& [path, content] : state.Snapshot()) {
            count += path.ends_with(".journal") ? 1 : 0;
        }
        return count;
    }
    tovana::test::TempTree tree;
    tovana::test::TempTree state;  // this test's own journals
};

// The mask chooses among the walked folders' files; a file named on the command line is renamed
// whatever the mask.
TEST_F(CliPaths, TwoFoldersAndAFileInTurnOneSummaryOneJournalOneUndo) {
    tree.Add("Čaj/Ďábel.JPG");
    tree.Add("Čaj/Číst.txt");
    tree.Add("Řeka/Šíp.JPG");
    tree.Add("Žena.txt");
    tree.Add("Úl.txt");
    const Tree before = tree.Snapshot();
    const ProgramResult r =
        Cli({"-d", "-m", "*.JPG", tree.path("Čaj"), tree.path("Řeka"), tree.path("Žena.txt")});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string root = tree.path() + "/";
    EXPECT_EQ(r.out, "file\t" + root + "Čaj/Ďábel.JPG\tDabel.JPG\n" +   //
                         "dir\t" + root + "Čaj\tCaj\n" +                //
                         "file\t" + root + "Řeka/Šíp.JPG\tSip.JPG\n" +  //
                         "dir\t" + root + "Řeka\tReka\n" +              //
                         "file\t" + root + "Žena.txt\tZena.txt\n" +     //
                         "Přejmenováno:\n\n3 souborů\n2 adresářů\n");
    EXPECT_EQ(tree.Snapshot(), (Tree{{"Caj/", ""},
                                     {"Caj/Dabel.JPG", "Čaj/Ďábel.JPG"},
                                     {"Caj/Číst.txt", "Čaj/Číst.txt"},
                                     {"Reka/", ""},
                                     {"Reka/Sip.JPG", "Řeka/Šíp.JPG"},
                                     {"Zena.txt", "Žena.txt"},
                                     {"Úl.txt", "Úl.txt"}}));
    EXPECT_EQ(Journals(), 1u);

    const ProgramResult undo = Cli({"--undo"});
    EXPECT_EQ(undo.status, 0) << undo.err;
    EXPECT_EQ(tree.Snapshot(), before);
}

// Relative paths beside one another share the journal, which still puts them back from
// anywhere.
TEST_F(CliPaths, RelativePathsAreUndoneFromAnotherFolder) {
    tree.Add("Čaj/č.txt");
    tree.Add("Řeka/ř.txt");
    tree.Add("Žena.txt");
    const Tree before = tree.Snapshot();
    const ProgramResult r = CliIn(tree.path(), "-s Čaj ./Řeka Žena.txt");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "file\tČaj/č.txt\tc.txt\nfile\t./Řeka/ř.txt\tr.txt\nfile\tŽena.txt\tZena.txt\n"
              "Přejmenováno:\n\n3 souborů\n0 adresářů\n");
    EXPECT_EQ(tree.Snapshot().count("Řeka/r.txt"), 1u);
    const ProgramResult undo = CliIn("/", "--undo");
    EXPECT_EQ(undo.status, 0) << undo.err;
    EXPECT_EQ(tree.Snapshot(), before);
}

// A path given twice, a folder inside a walked one and a file in it are handled once, said so;
// the same folder spelled two ways counts as given twice.
TEST_F(CliPaths, EachPathOnceWithSubfolders) {
    tree.Add("Čaj/Ěčko/ř.txt");
    tree.Add("Čaj/č.txt");
    const ProgramResult r =
        Cli({"-s", "-d", tree.path("Čaj"), tree.path("Čaj/Ěčko"), tree.path("Čaj") + "//",
             tree.path("Čaj/Ěčko/ř.txt"), tree.path("Čaj/Ěčko/../č.txt"), tree.path("Čaj")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out.ends_with("Přejmenováno:\n\n2 souborů\n2 adresářů\n")) << r.out;
    EXPECT_EQ(tree.Snapshot(), (Tree{{"Caj/", ""},
                                     {"Caj/Ecko/", ""},
                                     {"Caj/Ecko/r.txt", "Čaj/Ěčko/ř.txt"},
                                     {"Caj/c.txt", "Čaj/č.txt"}}));
    const std::string caj = "'" + tree.path("Čaj") + "'";
    EXPECT_EQ(r.err, "tovana-cli: note: '" + tree.path("Čaj/Ěčko") + "' lies in " + caj +
                         "; handled there\n"
                         "tovana-cli: note: '" +
                         tree.path("Čaj") + "//' is the same as " + caj +
                         "; handled once\n"
                         "tovana-cli: note: '" +
                         tree.path("Čaj/Ěčko/ř.txt") + "' lies in " + caj +
                         "; handled there\n"
                         "tovana-cli: note: '" +
                         tree.path("Čaj/Ěčko/../č.txt") + "' lies in " + caj +
                         "; handled there\n"
                         "tovana-cli: note: " +
                         caj + " is given twice; handled once\n");
}

// Without --subdirs an inner folder is a run of its own, made before the outer folder itself
// is renamed (which would take the inner path away).
TEST_F(CliPaths, InnerFolderWithoutSubfoldersGoesFirst) {
    tree.Add("Čaj/Ěčko/ř.txt");
    tree.Add("Čaj/č.txt");
    const ProgramResult r = Cli({"-d", tree.path("Čaj"), tree.path("Čaj/Ěčko")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(tree.Snapshot(), (Tree{{"Caj/", ""},
                                     {"Caj/Ecko/", ""},
                                     {"Caj/Ecko/r.txt", "Čaj/Ěčko/ř.txt"},
                                     {"Caj/c.txt", "Čaj/č.txt"}}));
}

// One path that fails makes the status 1; the others are still handled.
TEST_F(CliPaths, AMissingPathFailsTheRunTheOthersGoOn) {
    tree.Add("Čaj/č.txt");
    tree.Add("Žena.txt");
    const ProgramResult r = Cli({tree.path("chybí"), tree.path("Čaj"), tree.path("Žena.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot read folder '" + tree.path("chybí") + "/'"), std::string::npos)
        << r.err;
    EXPECT_EQ(tree.Snapshot(),
              (Tree{{"Čaj/", ""}, {"Čaj/c.txt", "Čaj/č.txt"}, {"Zena.txt", "Žena.txt"}}));
}

}  // namespace
