// One run: walk the chosen folder depth-first, folders after their contents, rename every taken
// entry whose name the rules change, report each attempt, count the successes.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <system_error>

#include <vector>

#include "names/LegacyText.h"
#include "names/RenameOptions.h"
#include "rename/FailReason.h"
#include "rename/FileSystem.h"

namespace tovana {

// The outcome of one rename attempt; also the number of the picture drawn beside it.
enum ResultKind {
    rkDirRenamed = 0,
    rkFileRenamed = 1,
    rkFailed = 2,
};

struct LogEntry {
    std::string Path;  // the entry's old full path, as the walk built it
    ResultKind Kind;
    std::string NewName;  // the name the rules gave it
    // Why a failed rename failed; FailReason::None for the others.
    FailReason Reason = FailReason::None;
    // The error behind the reason, when there is one: the system's, or the run's own refusal
    // (RunRefusal).
    std::error_code Error;
    // The entry's name (the last part of Path) and NewName are plain text (names/PlainText.h):
    // a sink that escapes them can take them as they are. False when not known.
    bool PlainNames = false;
};

// A rename the run is about to ask for.
struct PlannedRename {
    std::string Path;  // the entry's old full path
    std::string NewName;
    bool IsFolder = false;
    bool PlainNames = false;  // as LogEntry's
};

// Renames the run refuses without asking the file system.
enum class RunRefusal {
    WouldHide = 1,  // a visible entry would get a name that hides it
};
const std::error_category& RunRefusalCategory();
std::error_code MakeErrorCode(RunRefusal refusal);

// Where a run reports to: the window's result list, the command line's output.
class RunSink {
  public:
    virtual ~RunSink() = default;
    // Each rename attempt, in the run's order. A sink that keeps rows moves them out; one that
    // only looks leaves them, and the run reuses their room for the next row. May throw; the
    // run then stops at once.
    virtual void Append(LogEntry&& entry) = 0;
    // A folder whose entries could not be read (it is still offered for its own rename). A
    // chosen path that is not a folder comes with std::errc::not_a_directory, and then the run
    // renames nothing.
    virtual void FolderUnreadable(const std::string& /*path*/, std::error_code /*error*/) {}
    // Called after each folder is read, with the number of entries seen so far.
    virtual void Progress(std::size_t /*entriesSeen*/) {}
    // Before the renames of one folder are asked for: all of them, in the order they will be
    // attempted (a journal writes them ahead). Each is then reported by Append, possibly with
    // the renames of a subfolder's batch in between, and EndRenames closes the batch.
    virtual void BeginRenames(const std::vector<PlannedRename>& /*planned*/) {}
    virtual void EndRenames() {}
    // When the run meets its first name that is not UTF-8 and has chosen the code page for all
    // of them (`names` of them, the chosen folder's own name included).
    virtual void LegacyChosen(LegacyCodePage /*codePage*/, std::size_t /*names*/) {}
    // A change of letter case alone goes through a temporary name in the entry's folder
    // (".tovana-PID-N", see FileSystemPosix): told before the entry at `path` is moved to
    // `temporary`, and again with leftThere should it have to stay under it (moved neither on
    // nor back). A kill between the two steps leaves the entry under the name told first.
    virtual void TemporaryName(const std::string& /*path*/, const std::string& /*temporary*/,
                               bool /*leftThere*/) {}
    // The first time a file (folder) is renamed on a file system without the no-overwrite
    // rename: the folder it is in, and the way the run renames there instead.
    virtual void RenameFallback(const std::string& /*folderPath*/, RenameMethod /*method*/,
                                bool /*folder*/) {}
    // The run met the journals' folder (`path`, as the run was given it) or a folder holding
    // it, and leaves them alone: the journals' folder is not walked into, and neither it nor
    // a folder holding it is renamed. Told once per run.
    virtual void JournalsLeftAlone(const std::string& /*path*/) {}
    // A run left to choose how many workers rename at once (RenameOptions::Jobs 0) chose
    // `jobs` of them, more than one, because the chosen folder (`folderPath`) is on a network
    // or FUSE file system. Told once per run, before its first row.
    virtual void JobsChosen(const std::string& /*folderPath*/, int /*jobs*/) {}

    // A run with several workers calls Parallel(true) at its start and Parallel(false) at its
    // end. Every other call still comes on the run's own thread, in exactly the order a run
    // with one worker makes them, but only once a folder's subfolders are all done, so later
    // than the renames they tell of. A sink that must hear of renames before they happen (a
    // journal writes ahead) returns from Parallel(true) the part that does: the workers call
    // it from their own threads, several at once, with BeginRenames, Append, EndRenames,
    // TemporaryName and FolderUnreadable as they go, each worker's calls nested as a
    // one-worker run's are, and a folder's always after those of everything inside it.
    virtual RunSink* Parallel(bool /*starts*/) { return nullptr; }
};

// Workers a run uses when left to choose (RenameOptions::Jobs 0) on a network or FUSE file
// system; one elsewhere.
constexpr int kRemoteJobs = 16;

struct RunCounters {
    int FileCount = 0;     // files renamed
    int DirCount = 0;      // folders renamed, the chosen folder included
    bool Stopped = false;  // a stop request ended the run before it had looked at everything
};

// Asks a run to stop. Any thread, or a signal handler, may make the request; the run looks at
// it before each rename and before each folder it reads, so the rename under way always
// completes and no rename happens after the run has seen the request.
//
// A window may also hold the run while it asks the user whether to stop: between Pause and
// Resume the run waits at its next look, so nothing more is renamed while the question is open.
class StopRequest {
  public:
    void Request() noexcept { requested_.store(true, std::memory_order_relaxed); }
    bool Requested() const noexcept { return requested_.load(std::memory_order_relaxed); }

    // Any thread but the run's.
    void Pause();
    void Resume();
    // The run's look: waits while the run is held, then says whether it is to stop. A request
    // made meanwhile (from a signal handler too) ends the wait within a few milliseconds.
    bool Stopping() const;

  private:
    static_assert(std::atomic<bool>::is_always_lock_free, "set from signal handlers");
    std::atomic<bool> requested_{false};
    std::atomic<bool> paused_{false};
    mutable std::mutex mutex_;
    mutable std::condition_variable resumed_;
};

// Performs one run with `options`. The counters are set to 0 first and count as the run goes,
// so they are right even when the sink stops the run by throwing.
void Run(const RenameOptions& options, FileSystem& fileSystem, RunSink& sink,
         RunCounters& counters);

// The same, ending early once `stop` is requested: the rows and counters then tell exactly the
// renames made, and `counters.Stopped` says that the run did not get to the end.
void Run(const RenameOptions& options, FileSystem& fileSystem, RunSink& sink, RunCounters& counters,
         const StopRequest& stop);

// The same, leaving alone the folder at `journalFolder` (the run's journals), found by its
// identity rather than its path: it is neither walked into nor renamed, and no folder holding
// it is renamed, so a run never renames its own journals. Empty: no such folder.
void Run(const RenameOptions& options, FileSystem& fileSystem, RunSink& sink, RunCounters& counters,
         const StopRequest& stop, const std::string& journalFolder);

// Renames the file at `options.Path` itself by the rules, in its folder, whatever the mask (a
// file the user named). Reported, journaled and counted like a run's renames.
void RenameNamedFile(const RenameOptions& options, FileSystem& fileSystem, RunSink& sink,
                     RunCounters& counters, const StopRequest& stop);

// The window's words for a chosen path that is not a folder (the run renames nothing there).
std::string NotAFolderText(const std::string& path);

// The summary the window shows after a run: lines separated by carriage returns. A stopped
// run's summary says so first.
std::string SummaryText(const RunCounters& counters);

}  // namespace tovana
