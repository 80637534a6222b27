// tovana-cli stopped by a signal half way through a run on a slow disk: the rename under way
// completes, no other starts, and what it printed is exactly what it did.
#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "support/CaseLabel.h"
#include "support/RecordingSink.h"
#include "support/RowsApplied.h"
#include "support/RunProgram.h"
#include "support/TempTree.h"

namespace {

using tovana::test::Row;

struct SignalCase {
    const char* label;
    int signal;
    int status;
};

// The rows tovana-cli printed, up to the summary.
std::vector<Row> PrintedRows(const std::string& out) {
    std::vector<Row> rows;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t first = line.find('\t');
        const std::size_t second = line.find('\t', first + 1);
        if (second == std::string::npos) {
            break;
        }
        const std::string kind = line.substr(0, first);
        rows.push_back({line.substr(first + 1, second - first - 1),
                        kind == "dir"    ? tovana::rkDirRenamed
                        : kind == "file" ? tovana::rkFileRenamed
                                         : tovana::rkFailed,
                        line.substr(second + 1)});
    }
    return rows;
}

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
    int files = 0;
    int folders = 0;
    for (const Row& row : rows) {
        files += row.kind == tovana::rkFileRenamed;
        folders += row.kind == tovana::rkDirRenamed;
    }
    EXPECT_TRUE(r.out.ends_with("Přejmenování přerušeno.\n\nPřejmenováno:\n\n" +
                                std::to_string(files) + " souborů\n" + std::to_string(folders) +
                                " adresářů\n"))
        << r.out.substr(r.out.size() > 200 ? r.out.size() - 200 : 0);
}

INSTANTIATE_TEST_SUITE_P(Signals, CliStopTest,
                         testing::Values(SignalCase{"Interrupt", SIGINT, 130},
                                         SignalCase{"Terminate", SIGTERM, 143}),
                         tovana::test::CaseLabel());

}  // namespace
