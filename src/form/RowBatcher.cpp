#include "form/RowBatcher.h"

namespace tovana {

void RowBatcher::Announce(std::unique_lock<std::mutex>& lock, bool evenWhenQuiet) {
    if (announced_) {
        return;
    }
    // Left unannounced, these rows go with the next ones or the run's end.
    if (!evenWhenQuiet && quiet_.count() > 0 &&
        std::chrono::steady_clock::now() - lastTake_ < quiet_) {
        return;
    }
    announced_ = true;
    lock.unlock();
    notify_();
}

void RowBatcher::Append(LogEntry&& entry) {
    std::unique_lock lock(mutex_);
    pending_.filesRenamed += entry.Kind == rkFileRenamed;
    pending_.foldersRenamed += entry.Kind == rkDirRenamed;
    pending_.rows.push_back(std::move(entry));
    Announce(lock, false);
}

void RowBatcher::Progress(std::size_t entriesSeen) {
    std::unique_lock lock(mutex_);
    pending_.entriesSeen = entriesSeen;
    Announce(lock, false);
}

void RowBatcher::Finish(const RunCounters& counters, std::exception_ptr error) {
    std::unique_lock lock(mutex_);
    pending_.finished = true;
    pending_.counters = counters;
    pending_.error = std::move(error);
    Announce(lock, true);
}

RunUpdate RowBatcher::TakeAll() {
    std::lock_guard lock(mutex_);
    RunUpdate taken;
    taken.rows.swap(pending_.rows);
    taken.filesRenamed = pending_.filesRenamed;
    taken.foldersRenamed = pending_.foldersRenamed;
    taken.entriesSeen = pending_.entriesSeen;
    taken.finished = pending_.finished;
    taken.counters = pending_.counters;
    taken.error = pending_.error;
    // A note that is still on its way finds nothing, or what came after this take.
    announced_ = false;
    lastTake_ = std::chrono::steady_clock::now();
    return taken;
}

}  // namespace tovana
