// Rows from a run on a worker thread to the window's thread, in batches:
//
//   run thread: Run -> RowBatcher::Append/Progress (buffered) ... Finish
//                        | notify(), once per batch
//   window thread: posted event/message -> TakeAll() -> rows for the list, progress, the end
//
// The window takes whatever has gathered since its last take, so the slower it is, the bigger
// its batches get, and a list that is busy painting never holds the run up. One note stands for
// everything not yet taken, and after a take the next note waits for a quiet time: a window that
// takes as fast as rows come would otherwise cost the run a wake-up per row or two.
#pragma once

#include <chrono>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <vector>

#include "rename/RenameRun.h"

namespace tovana {

struct RunUpdate {
    std::vector<LogEntry> rows;  // appended since the previous take, in the run's order
    int filesRenamed = 0;        // renamed so far in the whole run
    int foldersRenamed = 0;
    std::size_t entriesSeen = 0;  // entries read so far, renamed or not
    bool finished = false;        // the run has ended: nothing more comes after these rows
    RunCounters counters;         // once finished: the run's counters, Stopped included
    std::exception_ptr error;     // once finished: what ended the run, if it did not end normally
};

class RowBatcher : public RunSink {
  public:
    // A window repaints its list at most this often; rows wait for it no longer than that, or,
    // on a disk slower than that, no longer than the rename after them takes.
    static constexpr std::chrono::milliseconds kQuietAfterTake{20};

    // `notify` is called on the run's thread when something arrives that is not yet taken, no
    // call has announced it, and `quiet` has passed since the last take (the run's end is
    // announced at once). It should only post a note to the window's thread (an event, a
    // message) that calls TakeAll there.
    explicit RowBatcher(std::function<void()> notify,
                        std::chrono::milliseconds quiet = kQuietAfterTake)
        : notify_(std::move(notify)), quiet_(quiet) {}

    void Append(LogEntry&& entry) override;
    void Progress(std::size_t entriesSeen) override;
    // The run's last word, from its thread.
    void Finish(const RunCounters& counters, std::exception_ptr error);

    // Any thread: everything gathered since the previous take.
    RunUpdate TakeAll();

  private:
    // Called with the lock held; releases it before notifying.
    void Announce(std::unique_lock<std::mutex>& lock, bool evenWhenQuiet);

    std::function<void()> notify_;
    std::chrono::milliseconds quiet_;
    std::mutex mutex_;
    RunUpdate pending_;
    bool announced_ = false;
    std::chrono::steady_clock::time_point lastTake_{};
};

}  // namespace tovana
