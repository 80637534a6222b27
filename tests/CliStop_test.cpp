// tovana-cli stopped by a signal half way through a run on a slow disk: the rename under way
// completes, no other starts, and what it printed is exactly what it did.
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <thread>

#include "support/CaseLabel.h"
#include "support/RecordingSink.h"
#include "support/RowsApplied.h"
#include "support/RunProgram.h"
#include "support/TempTree.h"

namespace {

using tovana::test::PrintedRows;
using tovana::test::Row;

struct SignalCase {
    const char* label;
    int signal;
    int status;
};

// Whether the run has renamed anything yet: some file has lost its "ř".
bool AnyRenamed(const std::filesystem::path& root) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.path().filename().string().front() == 'r') {
            return true;
        }
    }
    return false;
}

class CliStopTest : public testing::TestWithParam<SignalCase> {};

constexpr int kFolders = 5;
constexpr int kFilesPerFolder = 200;

TEST_P(CliStopTest, StopsAfterTheRenameUnderWayAndPrintsTheTruth) {
    tovana::test::TempTree tree;
    for (int folder = 0; folder < kFolders; ++folder) {
        for (int file = 0; file < kFilesPerFolder; ++file) {
            tree.Add("Složka " + std::to_string(folder) + "/ř " + std::to_string(file) + ".txt");
        }
    }
    const auto before = tree.Snapshot();
    const auto contentsBefore = tovana::test::Contents(tree.root());

    // At 2 ms a call the whole run would take over two seconds; the signal comes as soon as
    // the first rename shows.
    tovana::test::RunningProgram cli(TOVANA_CLI_PATH, {"-s", "-d", tree.path()},
                                     {"TOVANA_FS_DELAY_US=2000"});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!AnyRenamed(tree.root()) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    cli.Signal(GetParam().signal);
    const tovana::test::ProgramResult r = cli.Wait();

    EXPECT_EQ(r.status, GetParam().status) << r.err;
    const std::vector<Row> rows = PrintedRows(r.out);
    EXPECT_FALSE(rows.empty());
    EXPECT_LT(rows.size(), std::size_t{kFolders * (kFilesPerFolder + 1)}) << "not stopped";
    EXPECT_EQ(tree.Snapshot(), tovana::test::RowsApplied(before, tree.path(), rows));
    EXPECT_EQ(tovana::test::Contents(tree.root()), contentsBefore);
    EXPECT_TRUE(r.out.ends_with(tovana::test::StoppedSummary(rows)))
        << r.out.substr(r.out.size() > 200 ? r.out.size() - 200 : 0);
}

// The renames made so far: files that lost their "ř" and folders that lost their "ž".
int RenamedOnDisk(const std::filesystem::path& root) {
    int renamed = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        const std::string name = entry.path().filename().string();
        renamed += name.front() == 'r' || name.starts_with("Slozka");
    }
    return renamed;
}

// Where the rows go: a pipe whose reader goes away, a terminal.
class CliOutputTest : public testing::Test {
  protected:
    CliOutputTest() {
        for (int folder = 0; folder < kFolders; ++folder) {
            for (int file = 0; file < kFilesPerFolder; ++file) {
                tree.Add("Složka " + std::to_string(folder) + "/ř " + std::to_string(file) +
                         ".txt");
            }
        }
        contentsBefore = tovana::test::Contents(tree.root());
    }

    // In the child: tovana-cli on the tree on a slow disk, errors to a file.
    [[noreturn]] void Exec() const {
        const int err = ::open(errors.path("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(err, STDERR_FILENO);
        ::setenv("TOVANA_FS_DELAY_US", "2000", 1);
        ::execl(TOVANA_CLI_PATH, TOVANA_CLI_PATH, "-s", "-d", tree.path().c_str(), nullptr);
        ::_exit(127);
    }

    // Reads `fd` up to the end of the first line.
    static std::string FirstLine(int fd) {
        std::string line;
        char c = 0;
        while (::read(fd, &c, 1) == 1 && c != '\n') {
            line += c;
        }
        return line;
    }

    std::string Errors() const {
        std::ifstream in(errors.path("err"));
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // Waits for the run `pid`, stopped for its output: it ends with status 1 (not by a signal)
    // and says how many renames it made, which are those on disk. Returns that number.
    int WaitStoppedForOutput(pid_t pid) const {
        int status = 0;
        EXPECT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "status " << status;
        const std::string err = Errors();
        const std::string said = "tovana-cli: the output was closed; stopped after ";
        const std::size_t at = err.find(said);
        EXPECT_NE(at, std::string::npos) << err;
        const int renames =
            at == std::string::npos ? -1 : std::atoi(err.c_str() + at + said.size());
        EXPECT_EQ(renames, RenamedOnDisk(tree.root()));
        return renames;
    }

    tovana::test::TempTree tree;
    tovana::test::TempTree errors;
    std::multiset<std::string> contentsBefore;
};

// A reader that takes one row and goes away (`| head -1`): the run stops after the rename under
// way, is not killed, says how many renames it made, and those are the renames on disk.
TEST_F(CliOutputTest, ReaderGoneStopsTheRunCleanly) {
    int out[2];
    ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        Exec();
    }
    ::close(out[1]);
    const std::string first = FirstLine(out[0]);
    ::close(out[0]);
    const int renames = WaitStoppedForOutput(pid);
    EXPECT_GT(renames, 0);
    EXPECT_LT(renames, kFolders * (kFilesPerFolder + 1)) << "not stopped";
    const std::vector<Row> rows = PrintedRows(first + "\n");
    ASSERT_EQ(rows.size(), 1u) << first;
    // The file of the row read is on disk under its new name (its folder may be renamed too).
    const std::string oldRelative = rows[0].path.substr(tree.path().size() + 1);
    bool found = false;
    for (const auto& [path, content] : tree.Snapshot()) {
        found |=
            content == oldRelative && std::filesystem::path(path).filename() == rows[0].newName;
    }
    EXPECT_TRUE(found) << first;
    EXPECT_EQ(tovana::test::Contents(tree.root()), contentsBefore);
}

// A write of the rows that fails (a full disk, here /dev/full) stops the run as a reader gone
// does, before the next folder.
TEST_F(CliOutputTest, FailedWriteStopsTheRunCleanly) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const int full = ::open("/dev/full", O_WRONLY);
        ::dup2(full, STDOUT_FILENO);
        Exec();
    }
    const int renames = WaitStoppedForOutput(pid);
    EXPECT_LE(renames, 2 * (kFilesPerFolder + 1)) << "not stopped";
    EXPECT_EQ(tovana::test::Contents(tree.root()), contentsBefore);
}

// On a terminal each row shows as soon as its rename is made, not a folder's worth later.
TEST_F(CliOutputTest, TerminalGetsEachRowAsItIsMade) {
    int terminal = -1;
    const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        Exec();
    }
    const std::string first = FirstLine(terminal);
    const int renamedAtFirstRow = RenamedOnDisk(tree.root());
    char buffer[4096];
    for (;;) {  // the rest, until the terminal's other end is closed
        const ssize_t got = ::read(terminal, buffer, sizeof buffer);
        if (got <= 0 && !(got < 0 && errno == EINTR)) {
            break;
        }
    }
    ::close(terminal);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);

    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << Errors();
    EXPECT_TRUE(first.starts_with("file\t")) << first;
    EXPECT_LT(renamedAtFirstRow, kFilesPerFolder);
    EXPECT_EQ(RenamedOnDisk(tree.root()), kFolders * (kFilesPerFolder + 1));
    EXPECT_EQ(tovana::test::Contents(tree.root()), contentsBefore);
}

// The history's state word for the journal of `folder`'s run.
std::string RunState(const std::string& folder) {
    const tovana::test::ProgramResult history =
        tovana::test::RunProgram(TOVANA_CLI_PATH, {"--history"});
    std::istringstream lines(history.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("\trun\t") != std::string::npos &&
            line.find("\t" + folder + "\t") != std::string::npos) {
            const std::size_t state = line.find('\t', line.find('\t') + 1) + 1;
            return line.substr(state, line.find('\t', state) - state);
        }
    }
    return "no run of " + folder + " in:\n" + history.out;
}

// An undo stopped half way leaves its run the one to put back: the next --undo goes on with
// it (not with an older run), finds what is back already in place, and ends with the tree
// as it was.
TEST_P(CliStopTest, StoppedUndoIsContinuedByTheNextUndo) {
    tovana::test::TempTree state;
    tovana::test::TempTree older;
    tovana::test::TempTree tree;
    const std::string saved = std::getenv("XDG_STATE_HOME");
    ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);
    older.Add("Škola.txt");
    for (int folder = 0; folder < kFolders; ++folder) {
        for (int file = 0; file < kFilesPerFolder; ++file) {
            tree.Add("Složka " + std::to_string(folder) + "/ř " + std::to_string(file) + ".txt");
        }
    }
    const auto before = tree.Snapshot();
    ASSERT_EQ(tovana::test::RunProgram(TOVANA_CLI_PATH, {older.path()}).status, 0);
    ASSERT_EQ(tovana::test::RunProgram(TOVANA_CLI_PATH, {"-s", "-d", tree.path()}).status, 0);
    ASSERT_EQ(RenamedOnDisk(tree.root()), kFolders * (kFilesPerFolder + 1));

    tovana::test::RunningProgram undo(TOVANA_CLI_PATH, {"--undo"}, {"TOVANA_FS_DELAY_US=2000"});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (RenamedOnDisk(tree.root()) == kFolders * (kFilesPerFolder + 1) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    undo.Signal(GetParam().signal);
    const tovana::test::ProgramResult stopped = undo.Wait();
    EXPECT_EQ(stopped.status, GetParam().status) << stopped.err;
    EXPECT_NE(stopped.out.find("Přejmenování přerušeno."), std::string::npos) << stopped.out;
    EXPECT_GT(RenamedOnDisk(tree.root()), 0) << "not stopped";
    EXPECT_EQ(RunState(tree.path()), "partly-undone");

    const tovana::test::ProgramResult again = tovana::test::RunProgram(TOVANA_CLI_PATH, {"--undo"});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out.find("failed"), std::string::npos) << again.out;
    EXPECT_EQ(tree.Snapshot(), before);
    EXPECT_EQ(older.Snapshot(), (std::map<std::string, std::string>{{"Skola.txt", "Škola.txt"}}));
    EXPECT_EQ(RunState(tree.path()), "undone");
    ::setenv("XDG_STATE_HOME", saved.c_str(), 1);
}

INSTANTIATE_TEST_SUITE_P(Signals, CliStopTest,
                         testing::Values(SignalCase{"Interrupt", SIGINT, 130},
                                         SignalCase{"Terminate", SIGTERM, 143}),
                         tovana::test::CaseLabel());

}  // namespace
