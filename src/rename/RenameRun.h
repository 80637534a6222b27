// One run: walk the chosen folder depth-first, folders after their contents, rename every taken
// entry whose name the rules change, report each attempt, count the successes.
#pragma once

#include <cstddef>
#include <string>
#include <system_error>

#include "rename/FileSystem.h"
#include "rename/RenameOptions.h"

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
};

// Where a run reports to: the window's result list, the command line's output.
class RunSink {
  public:
    virtual ~RunSink() = default;
    // Each rename attempt, in the run's order. May throw; the run then stops at once.
    virtual void Append(const LogEntry& entry) = 0;
    // A folder whose entries could not be read (it is still offered for its own rename). A
    // chosen path that is not a folder comes with std::errc::not_a_directory, and then the run
    // renames nothing.
    virtual void FolderUnreadable(const std::string& /*path*/, std::error_code /*error*/) {}
    // Called after each folder is read, with the number of entries seen so far.
    virtual void Progress(std::size_t /*entriesSeen*/) {}
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
};

struct RunCounters {
    int FileCount = 0;  // files renamed
    int DirCount = 0;   // folders renamed, the chosen folder included
};

// Performs one run with `options`. The counters are set to 0 first and count as the run goes,
// so they are right even when the sink stops the run by throwing.
void Run(const RenameOptions& options, FileSystem& fileSystem, RunSink& sink,
         RunCounters& counters);

// The window's words for a chosen path that is not a folder (the run renames nothing there).
std::string NotAFolderText(const std::string& path);

// The summary the window shows after a run: lines separated by carriage returns.
std::string SummaryText(const RunCounters& counters);

}  // namespace tovana
