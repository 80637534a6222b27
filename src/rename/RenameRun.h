// One run: walk the chosen folder depth-first, folders after their contents, rename every taken
// entry whose name the rules change, report each attempt, count the successes.
#pragma once

#include <cstddef>
#include <string>
#include <system_error>

#include "rename/FileSystem.h"
#include "rename/LegacyText.h"
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
    std::string NewName;      // the name the rules gave it
    std::error_code Error{};  // why the run itself refused a rename (RunRefusal); else empty
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
    // Each rename attempt, in the run's order. May throw; the run then stops at once.
    virtual void Append(const LogEntry& entry) = 0;
    // A folder whose entries could not be read (it is still offered for its own rename).
    virtual void FolderUnreadable(const std::string& /*path*/, std::error_code /*error*/) {}
    // Called after each folder is read, with the number of entries seen so far.
    virtual void Progress(std::size_t /*entriesSeen*/) {}
    // When the run meets its first name that is not UTF-8 and has chosen the code page for all
    // of them (`names` of them, the chosen folder's own name included).
    virtual void LegacyChosen(LegacyCodePage /*codePage*/, std::size_t /*names*/) {}
};

struct RunCounters {
    int FileCount = 0;  // files renamed
    int DirCount = 0;   // folders renamed, the chosen folder included
};

// Performs one run with `options`. The counters are set to 0 first and count as the run goes,
// so they are right even when the sink stops the run by throwing.
void Run(const RenameOptions& options, FileSystem& fileSystem, RunSink& sink,
         RunCounters& counters);

// The summary the window shows after a run: lines separated by carriage returns.
std::string SummaryText(const RunCounters& counters);

}  // namespace tovana
