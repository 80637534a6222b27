// A run that is asked to stop, and a run on a worker thread whose rows a window takes in
// batches: real runs on real temporary trees, the tree checked against the rows afterwards.
#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <mutex>
#include <stdexcept>

#include "form/BackgroundRun.h"
#include "rename/FileSystemPosix.h"
#include "rename/RenameRun.h"
#include "support/CaseLabel.h"
#include "support/FaultySyscalls.h"
#include "support/RecordingSink.h"
#include "support/RowsApplied.h"
#include "support/TempTree.h"

namespace {

using tovana::BackgroundRun;
using tovana::LogEntry;
using tovana::RenameOptions;
using tovana::RunCounters;
using tovana::RunSink;
using tovana::RunUpdate;
using tovana::StopRequest;
using tovana::test::Call;
using tovana::test::RecordingSink;
using tovana::test::Row;
using tovana::test::TempTree;

RenameOptions AllOn(const std::string& path) {
    RenameOptions o;
    o.Path = path;
    o.SubDir = true;
    o.RenameDir = true;
    o.ReplaceSpace = true;
    return o;
}

RunCounters Counted(const std::vector<Row>& rows) {
    RunCounters counted;
    for (const Row& row : rows) {
        counted.FileCount += row.kind == tovana::rkFileRenamed;
        counted.DirCount += row.kind == tovana::rkDirRenamed;
    }
    return counted;
}

// Requests a stop as the nth row comes in (0: before the run starts).
class StoppingSink : public RecordingSink {
  public:
    StoppingSink(StopRequest& stop, std::size_t after) : stop_(stop), after_(after) {
        if (after_ == 0) {
            stop_.Request();
        }
    }
    void Append(LogEntry&& entry) override {
        RecordingSink::Append(std::move(entry));
        if (rows.size() == after_) {
            stop_.Request();
        }
    }

  private:
    StopRequest& stop_;
    std::size_t after_;
};

struct StopCase {
    const char* label;
    std::size_t after;  // rows
    bool stopped;
};

class RunStopTest : public testing::TestWithParam<StopCase> {};

// The chosen folder Á holds seven rows' worth: four files, a collision, two folders; and its
// own rename comes last.
constexpr std::size_t kFullRun = 8;

TEST_P(RunStopTest, RowsCountersAndTreeTellExactlyWhatWasDone) {
    TempTree tree;
    for (const char* entry : {"Á/Ě/č.txt", "Á/Ě/ř.txt", "Á/Ě/Ů/", "Á/ž.txt", "Á/C.txt", "Á/Č.txt",
                              "Á/b c.txt", "Á/ok.txt"}) {
        tree.Add(entry);
    }
    const auto before = tree.Snapshot();
    const auto contentsBefore = tovana::test::Contents(tree.root());
    StopRequest stop;
    StoppingSink sink(stop, GetParam().after);
    tovana::FileSystemPosix fileSystem;
    RunCounters counters;
    tovana::Run(AllOn(tree.path("Á")), fileSystem, sink, counters, stop);

    EXPECT_EQ(sink.rows.size(), std::min(GetParam().after, kFullRun));
    EXPECT_EQ(counters.Stopped, GetParam().stopped);
    EXPECT_EQ(counters.FileCount, Counted(sink.rows).FileCount);
    EXPECT_EQ(counters.DirCount, Counted(sink.rows).DirCount);
    EXPECT_EQ(tree.Snapshot(), tovana::test::RowsApplied(before, tree.path(), sink.rows));
    EXPECT_EQ(tovana::test::Contents(tree.root()), contentsBefore);
}

INSTANTIATE_TEST_SUITE_P(Stops, RunStopTest,
                         testing::Values(StopCase{"BeforeTheRun", 0, true},
                                         StopCase{"AfterTheFirstRename", 1, true},
                                         StopCase{"InsideASubfolder", 2, true},
                                         StopCase{"BeforeTheChosenFolder", kFullRun - 1, true},
                                         StopCase{"AfterTheLastRename", kFullRun, false},
                                         StopCase{"Never", kFullRun + 1, false}),
                         tovana::test::CaseLabel());

TEST(RunStopSummary, StoppedRunSaysSoAboveTheUsualSummary) {
    RunCounters counters{2, 1};
    EXPECT_EQ(tovana::SummaryText(counters), "Přejmenováno:\r\r2 souborů\r1 adresářů");
    counters.Stopped = true;
    EXPECT_EQ(tovana::SummaryText(counters),
              "Přejmenování přerušeno.\r\rPřejmenováno:\r\r2 souborů\r1 adresářů");
}

// Notes from the run's thread, counted, for the test's thread to wait on as a window's event
// loop would.
class Notes {
  public:
    void Post() {
        std::lock_guard lock(mutex_);
        ++posted_;
        arrived_.notify_one();
    }
    void WaitForNext() {
        std::unique_lock lock(mutex_);
        arrived_.wait(lock, [this] { return posted_ > taken_; });
        taken_ = posted_;
    }
    int posted() {
        std::lock_guard lock(mutex_);
        return posted_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    int posted_ = 0;
    int taken_ = 0;
};

// Holds the run just before its nth rename reaches the system until the test lets it go.
class Gate {
  public:
    explicit Gate(tovana::test::FaultySyscalls& calls, int nth) : open_(go_.get_future()) {
        calls.fault = [this, nth, count = 0](Call call, const std::string&) mutable {
            if (call == Call::RenameAt2 && ++count == nth) {
                reached_.set_value();
                open_.wait();
            }
            return 0;
        };
    }
    void WaitUntilReached() { reached_.get_future().wait(); }
    void Open() { go_.set_value(); }

  private:
    std::promise<void> reached_;
    std::promise<void> go_;
    std::future<void> open_;
};

// Passes every row on to the batcher and keeps a copy made on the run's own thread.
class TeeSink : public RunSink {
  public:
    TeeSink(RunSink& next, RecordingSink& copy) : next_(next), copy_(copy) {}
    void Append(LogEntry&& entry) override {
        LogEntry copy = entry;
        copy_.Append(std::move(copy));
        next_.Append(std::move(entry));
    }
    void Progress(std::size_t entriesSeen) override { next_.Progress(entriesSeen); }

  private:
    RunSink& next_;
    RecordingSink& copy_;
};

class BackgroundRunTest : public testing::Test {
  protected:
    void SetUp() override {
        for (int folder = 0; folder < 4; ++folder) {
            for (int file = 0; file < 25; ++file) {
                tree.Add("Léto " + std::to_string(folder) + "/ř " + std::to_string(file) + ".txt");
            }
        }
        before = tree.Snapshot();
        contentsBefore = tovana::test::Contents(tree.root());
    }

    BackgroundRun::Body RunBody(tovana::FileSystem& fileSystem) {
        return [this, &fileSystem](RunSink& sink, RunCounters& counters, const StopRequest& stop) {
            TeeSink tee(sink, recorded);
            tovana::Run(AllOn(tree.path()), fileSystem, tee, counters, stop);
        };
    }

    // Takes batches as the notes come, like the window, until the run says it has ended.
    RunUpdate TakeUntilFinished(BackgroundRun& run) {
        for (;;) {
            notes.WaitForNext();
            RunUpdate update = run.Take();
            ++takes;
            for (const LogEntry& entry : update.rows) {
                taken.push_back({entry.Path, entry.Kind, entry.NewName});
            }
            if (update.finished) {
                return update;
            }
        }
    }

    void ExpectTreeAsTheRowsSay(const std::vector<Row>& rows) {
        EXPECT_EQ(tree.Snapshot(), tovana::test::RowsApplied(before, tree.path(), rows));
        EXPECT_EQ(tovana::test::Contents(tree.root()), contentsBefore);
    }

    TempTree tree;
    std::map<std::string, std::string> before;
    std::multiset<std::string> contentsBefore;
    tovana::test::FaultySyscalls calls;
    Notes notes;
    RecordingSink recorded;
    std::vector<Row> taken;
    int takes = 0;
};

constexpr int kFiles = 100;
constexpr int kFolders = 4;

TEST_F(BackgroundRunTest, RowsArriveInTheRunsOrderWhileItGoesOn) {
    Gate gate(calls, 3);
    tovana::FileSystemPosix fileSystem(calls);
    BackgroundRun run(RunBody(fileSystem), [this] { notes.Post(); });

    gate.WaitUntilReached();
    notes.WaitForNext();
    const RunUpdate early = run.Take();
    EXPECT_FALSE(early.finished);
    ASSERT_EQ(early.rows.size(), 2U);
    EXPECT_EQ(early.filesRenamed, 2);
    EXPECT_GT(early.entriesSeen, 0U);
    for (const LogEntry& entry : early.rows) {
        taken.push_back({entry.Path, entry.Kind, entry.NewName});
    }
    gate.Open();

    const RunUpdate last = TakeUntilFinished(run);
    run.Wait();
    EXPECT_EQ(taken, recorded.rows);
    EXPECT_FALSE(last.error);
    EXPECT_FALSE(last.counters.Stopped);
    EXPECT_EQ(last.counters.FileCount, kFiles);
    EXPECT_EQ(last.counters.DirCount, kFolders);
    EXPECT_EQ(last.filesRenamed, kFiles);
    EXPECT_EQ(last.foldersRenamed, kFolders);
    ExpectTreeAsTheRowsSay(taken);
}

TEST_F(BackgroundRunTest, StopFinishesTheRenameUnderWayAndASecondRunDoesTheRest) {
    {
        Gate gate(calls, 5);
        tovana::FileSystemPosix fileSystem(calls);
        BackgroundRun run(RunBody(fileSystem), [this] { notes.Post(); });
        gate.WaitUntilReached();
        run.RequestStop();
        gate.Open();
        const RunUpdate last = TakeUntilFinished(run);
        EXPECT_EQ(taken.size(), 5U);
        EXPECT_TRUE(last.counters.Stopped);
        EXPECT_EQ(last.counters.FileCount, 5);
        EXPECT_EQ(last.filesRenamed, 5);
        ExpectTreeAsTheRowsSay(taken);
    }
    const std::vector<Row> firstRun = taken;
    taken.clear();
    recorded.rows.clear();
    tovana::FileSystemPosix fileSystem;
    BackgroundRun second(RunBody(fileSystem), [this] { notes.Post(); });
    const RunUpdate last = TakeUntilFinished(second);
    EXPECT_FALSE(last.counters.Stopped);
    EXPECT_EQ(last.counters.FileCount, kFiles - 5);
    EXPECT_EQ(last.counters.DirCount, kFolders);
    std::vector<Row> both = firstRun;
    both.insert(both.end(), taken.begin(), taken.end());
    ExpectTreeAsTheRowsSay(both);
}

// A window busy with other things is not flooded: one note stands for everything not yet taken.
TEST_F(BackgroundRunTest, OneNoteUntilTheWindowTakes) {
    tovana::FileSystemPosix fileSystem;
    BackgroundRun run(RunBody(fileSystem), [this] { notes.Post(); });
    run.Wait();
    EXPECT_EQ(notes.posted(), 1);
    const RunUpdate all = run.Take();
    EXPECT_TRUE(all.finished);
    EXPECT_EQ(all.rows.size(), std::size_t{kFiles + kFolders});
    const RunUpdate again = run.Take();
    EXPECT_TRUE(again.rows.empty());
    EXPECT_TRUE(again.finished);
}

// A sink further down the line that fails, as the window's list may: the run ends there.
class FailingSink : public RunSink {
  public:
    explicit FailingSink(RunSink& next) : next_(next) {}
    void Append(LogEntry&& entry) override {
        next_.Append(std::move(entry));
        if (++rows_ == 2) {
            throw std::runtime_error("Unable to insert a line");
        }
    }

  private:
    RunSink& next_;
    int rows_ = 0;
};

TEST_F(BackgroundRunTest, AnErrorEndsTheRunAndComesAfterItsRows) {
    tovana::FileSystemPosix fileSystem;
    BackgroundRun run(
        [this, &fileSystem](RunSink& sink, RunCounters& counters, const StopRequest& stop) {
            FailingSink failing(sink);
            tovana::Run(AllOn(tree.path()), fileSystem, failing, counters, stop);
        },
        [this] { notes.Post(); });
    const RunUpdate last = TakeUntilFinished(run);
    ASSERT_TRUE(last.error);
    EXPECT_THROW(std::rethrow_exception(last.error), std::runtime_error);
    EXPECT_EQ(taken.size(), 2U);
    EXPECT_EQ(last.counters.FileCount, 2);
    ExpectTreeAsTheRowsSay(taken);
}

}  // namespace
