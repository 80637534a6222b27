// tovana-cli with several workers (-j), or with one renaming and another reading ahead (auto
// on a local disk): on real trees with awkward names, everything a user or script sees is what
// one worker gives, byte for byte; stopped or killed, its rows and journal still tell exactly
// what it did.
#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

#include "support/CaseLabel.h"
#include "support/RowsApplied.h"
#include "support/RunProgram.h"
#include "support/TempTree.h"

namespace {

using tovana::test::PrintedRows;
using tovana::test::ProgramResult;
using tovana::test::Row;
using tovana::test::TempTree;

// Folders enough for the workers to take some each, names that need escaping, collisions,
// a name that is not UTF-8 (the run's code page is chosen once), a dot-folder left alone; all
// in a chosen folder of the same name in both trees (it is renamed too).
void Populate(TempTree& tree) {
    for (int i = 0; i < 12; ++i) {
        const std::string folder = "Strom ř/Složka " + std::to_string(i) + "/";
        tree.Add(folder + "Čaj ř.txt");
        tree.Add(folder + "Caj r.txt");  // where "Čaj ř.txt" wants to go
        tree.Add(folder + "foto_ž " + std::to_string(i) + ".JPG");
        tree.Add(folder + "Pod ě/Hluboko ů/soubor ý.txt");
        tree.Add(folder + "Pod ě/Hluboko ů/ABC def.txt");
        tree.Add(folder + "Prázdná ř/");
        tree.AddFile(folder + "nový\nřádek\tž\\.txt", "awkward " + std::to_string(i));
    }
    tree.AddFile(std::string("Strom ř/Složka 3/\xe8") + "aj \x9akoln\xed.txt", "cp1250");
    tree.Add("Strom ř/.skryté/Čaj.txt");
    tree.Add("Strom ř/Kořen ž.txt");
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

struct ParallelCase {
    const char* label;
    std::vector<std::string> options;
    const char* jobs;
};

class CliParallelTest : public testing::TestWithParam<ParallelCase> {
  protected:
    CliParallelTest() {
        ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);
        // Slow enough that the workers overlap.
        ::setenv("TOVANA_FS_DELAY_US", "200", 1);
        ::setenv("LANG", "C.UTF-8", 1);
        Populate(one);
        Populate(many);
    }
    ~CliParallelTest() override { ::unsetenv("TOVANA_FS_DELAY_US"); }

    // What the run on `tree` printed and returned, the tree's path as ROOT.
    static std::string Run(const TempTree& tree, std::vector<std::string> args) {
        args.push_back(tree.path("Strom ř"));
        const ProgramResult r = tovana::test::RunProgram(TOVANA_CLI_PATH, args);
        return "status " + std::to_string(r.status) + "\nout:\n" +
               Replaced(r.out, tree.path(), "ROOT") + "err:\n" +
               Replaced(r.err, tree.path(), "ROOT");
    }
    std::vector<std::string> With(std::vector<std::string> more, bool parallel) const {
        std::vector<std::string> args = GetParam().options;
        args.insert(args.end(), more.begin(), more.end());
        args.push_back("-j");
        args.push_back(parallel ? GetParam().jobs : "1");
        return args;
    }

    TempTree state;
    TempTree one;   // run with one worker
    TempTree many;  // with several
};

TEST_P(CliParallelTest, OutputTreeAndUndoAreThoseOfOneWorker) {
    const auto before = one.Snapshot();
    for (const std::vector<std::string>& mode :
         {std::vector<std::string>{"-n"}, {"-n", "-0"}, {"-n", "-q"}}) {
        EXPECT_EQ(Run(many, With(mode, true)), Run(one, With(mode, false))) << mode.back();
    }
    const std::string serial = Run(one, With({}, false));
    EXPECT_EQ(Run(many, With({}, true)), serial);
    EXPECT_NE(serial.find("\nfile\t"), std::string::npos) << serial;
    EXPECT_EQ(many.Snapshot(), one.Snapshot());
    EXPECT_NE(one.Snapshot(), before);

    // The newest run first: the one with several workers.
    const ProgramResult undoMany = tovana::test::RunProgram(TOVANA_CLI_PATH, {"--undo"});
    EXPECT_EQ(undoMany.status, 0) << undoMany.err;
    EXPECT_EQ(many.Snapshot(), before);
    const ProgramResult undoOne = tovana::test::RunProgram(TOVANA_CLI_PATH, {"--undo"});
    EXPECT_EQ(undoOne.status, 0) << undoOne.err;
    EXPECT_EQ(one.Snapshot(), before);
}

INSTANTIATE_TEST_SUITE_P(
    OptionSets, CliParallelTest,
    testing::Values(
        ParallelCase{"FoldersToo", {"-s", "-d"}, "4"},
        ParallelCase{"SpacesAndOthers", {"-s", "-d", "--replace-space", "--non-alnum"}, "16"},
        ParallelCase{"Upper", {"-s", "-d", "--upper"}, "4"},
        ParallelCase{"LowerTextOnly", {"-s", "-m", "*.txt", "--lower"}, "16"},
        ParallelCase{"RemoveUnderscoreKeepLegacy",
                     {"-s", "-d", "--remove-underscore", "--legacy", "none"},
                     "4"},
        ParallelCase{"TopFolderOnly", {"-d", "--replace-space"}, "4"},
        // On a local disk: one thread renames, another reads ahead.
        ParallelCase{"LookingAhead", {"-s", "-d", "--replace-space"}, "auto"},
        ParallelCase{"LookingAheadLowerTextOnly", {"-s", "-m", "*.txt", "--lower"}, "auto"}),
    tovana::test::CaseLabel());

TEST(CliJobs, ANumberFromOneTo256OrAuto) {
    TempTree tree;
    tree.Add("Čaj.txt");
    for (const char* bad : {"0", "257", "-1", "two", "4x", ""}) {
        const ProgramResult r =
            tovana::test::RunProgram(TOVANA_CLI_PATH, {"-j", bad, "-n", tree.path()});
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(r.err.find("--jobs"), std::string::npos) << bad << r.err;
    }
    for (const char* good : {"1", "256", "auto"}) {
        const ProgramResult r =
            tovana::test::RunProgram(TOVANA_CLI_PATH, {"--jobs", good, "-n", tree.path()});
        EXPECT_EQ(r.status, 0) << good << r.err;
        EXPECT_EQ(r.err, "") << "a local disk is renamed by one worker, without a note";
    }
}

// ---- stopped and killed ----

constexpr int kFolders = 24;
constexpr int kFilesPerFolder = 40;

int RenamedOnDisk(const std::filesystem::path& root) {
    int renamed = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        const std::string name = entry.path().filename().string();
        renamed += name.front() == 'r' || name.starts_with("Slozka");
    }
    return renamed;
}

struct StopCase {
    const char* label;
    int signal;
    int status;  // -1: killed outright
    const char* jobs;
};

class CliParallelStopTest : public testing::TestWithParam<StopCase> {
  protected:
    CliParallelStopTest() {
        ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);
        for (int folder = 0; folder < kFolders; ++folder) {
            for (int file = 0; file < kFilesPerFolder; ++file) {
                tree.Add("Složka " + std::to_string(folder) + "/ř " + std::to_string(file) +
                         ".txt");
            }
        }
    }
    TempTree state;
    TempTree tree;
};

// The signal comes once some folders' renames are made; every worker ends after its rename under
// way, the rows are what is on disk, and --undo puts the tree back byte for byte.
TEST_P(CliParallelStopTest, RowsAreWhatIsOnDiskAndUndoPutsItBack) {
    const auto before = tree.Snapshot();
    tovana::test::RunningProgram cli(TOVANA_CLI_PATH,
                                     {"-s", "-d", "-j", GetParam().jobs, tree.path()},
                                     {"TOVANA_FS_DELAY_US=2000"});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (RenamedOnDisk(tree.root()) < 3 * (kFilesPerFolder + 1) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    cli.Signal(GetParam().signal);
    const ProgramResult r = cli.Wait();
    EXPECT_EQ(r.status, GetParam().status) << r.err;
    EXPECT_LT(RenamedOnDisk(tree.root()), kFolders * (kFilesPerFolder + 1)) << "not stopped";
    if (GetParam().status < 0 && std::string_view(GetParam().jobs) == "auto") {
        // Rows go out at least once per folder: a kill leaves untold at most the renames of the
        // folder at hand and its own.
        const auto told = std::count(r.out.begin(), r.out.end(), '\n');
        EXPECT_LE(RenamedOnDisk(tree.root()) - told, kFilesPerFolder + 1) << r.out;
    }
    if (GetParam().status >= 0) {
        const std::vector<Row> rows = PrintedRows(r.out);
        EXPECT_EQ(tree.Snapshot(), tovana::test::RowsApplied(before, tree.path(), rows));
        EXPECT_TRUE(r.out.ends_with(tovana::test::StoppedSummary(rows)))
            << r.out.substr(r.out.size() > 200 ? r.out.size() - 200 : 0);
    }
    const ProgramResult undo = tovana::test::RunProgram(TOVANA_CLI_PATH, {"--undo"});
    EXPECT_EQ(undo.status, 0) << undo.err;
    EXPECT_EQ(undo.out.find("failed"), std::string::npos) << undo.out;
    EXPECT_EQ(tree.Snapshot(), before);
}

INSTANTIATE_TEST_SUITE_P(Signals, CliParallelStopTest,
                         testing::Values(StopCase{"Interrupt", SIGINT, 130, "4"},
                                         StopCase{"Terminate", SIGTERM, 143, "16"},
                                         StopCase{"Killed", SIGKILL, -1, "8"},
                                         StopCase{"InterruptLookingAhead", SIGINT, 130, "auto"},
                                         StopCase{"KilledLookingAhead", SIGKILL, -1, "auto"}),
                         tovana::test::CaseLabel());

}  // namespace
