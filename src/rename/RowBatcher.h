// Rows from a run on a worker thread to the window's thread, in batches:
//
//   run thread: Run -> RowBatcher::Append/Progress (buffered) ... Finish
//                        | notify(), once per batch
//   window thread: posted event/message -> TakeAll() -> rows for the list, progress, the end
//
// The window takes whatever has gathered since its last take, so the slower it is, the bigger
// its batches get, and a list that is busy painting never holds the run up.
#pragma once

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
    // `notify` is called on the run's thread when something arrives that is not yet taken and
    // no call has announced it; it should only post a note to the window's thread (an event, a
    // message) that calls TakeAll there.
    explicit RowBatcher(std::function<void()> notify) : notify_(std::move(notify)) {}

    void Append(const LogEntry& entry) override;
    void Progress(std::size_t entriesSeen) override;
    // The run's last word, from its thread.
    void Finish(const RunCounters& counters, std::exception_ptr error);

    // Any thread: everything gathered since the previous take.
    RunUpdate TakeAll();

  private:
    // Called with the lock held; releases it before notifying.
    void Announce(std::unique_lock<std::mutex>& lock);

    std::function<void()> notify_;
    std::mutex mutex_;
    RunUpdate pending_;
    bool announced_ = false;
};

}  // namespace tovana
