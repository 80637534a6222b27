// A run on a thread of its own, so that a window keeps painting and answering while it goes on.
//
//   BackgroundRun run(body, notify);   body calls Run(options, fs, sink, counters, stop)
//   notify (run thread) -> post to the window -> run.Take() -> rows, progress, finished
//   Esc / close / session end -> run.RequestStop(); run.Wait(); run.Take()
#pragma once

#include <functional>
#include <thread>

#include "form/RowBatcher.h"
#include "rename/RenameRun.h"

namespace tovana {

class BackgroundRun {
  public:
    // What the thread does: a run, perhaps with more sinks between it and `sink`.
    // `stop` is the run's own request: the body may make it too (a journal that can no longer
    // be written stops the run).
    using Body = std::function<void(RunSink& sink, RunCounters& counters, StopRequest& stop)>;

    // Starts `body` on a new thread. `notify` is called on that thread whenever there is
    // something to take (see RowBatcher for when); the run's end is announced like its rows.
    BackgroundRun(Body body, std::function<void()> notify,
                  std::chrono::milliseconds quiet = RowBatcher::kQuietAfterTake);
    // Stops the run (the rename under way completes) and waits for its thread.
    ~BackgroundRun();
    BackgroundRun(const BackgroundRun&) = delete;
    BackgroundRun& operator=(const BackgroundRun&) = delete;

    // Any thread, at any time, as often as wanted.
    void RequestStop() { stop_.Request(); }
    // Holds the run before its next rename until Resume (or a stop request).
    void Pause() { stop_.Pause(); }
    void Resume() { stop_.Resume(); }
    // Blocks until the run has ended (only from the thread that made this); its last rows and its
    // end are then ready to take.
    void Wait();
    // Everything since the previous take. An error the run ended with comes in the update
    // that says the run is finished, after the rows made before it.
    RunUpdate Take() { return batcher_.TakeAll(); }

  private:
    StopRequest stop_;
    RowBatcher batcher_;
    std::thread thread_;
};

}  // namespace tovana
