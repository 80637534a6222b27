// Where journals live and how their files are written. The folder is the user's state folder
// ($XDG_STATE_HOME/Korvel/Tovana/journal on Linux, %LOCALAPPDATA%\Korvel\Tovana\journal on
// Windows); one file per run, named by its start time (UTC) so that the names sort as the runs
// started. Creating and appending to a file is the platform's part; listing, reading and
// removing go through the standard library.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace tovana {

// One journal open for appending. Every Append reaches the system before it returns (nothing
// waits in a buffer of ours), so a process killed right after it leaves the text in the file.
class JournalFile {
  public:
    virtual ~JournalFile() = default;
    // Where the file system can, each Append first sets aside room for `text` and for a last
    // record after it: an Append that fails for want of room (disk full, quota) then writes
    // nothing, and the room for the last record is still there.
    virtual std::error_code Append(std::string_view text) = 0;
    // After an Append failed: appends a short last record (up to 4 KiB) into the room set
    // aside, only where that Append wrote nothing and the room is there; else fails and
    // writes nothing.
    virtual std::error_code AppendLast(std::string_view /*text*/) {
        return std::make_error_code(std::errc::function_not_supported);
    }
    // Asks the system to put the file on stable storage.
    virtual std::error_code Sync() = 0;
};

class JournalStore {
  public:
    explicit JournalStore(std::string folder);
    virtual ~JournalStore() = default;

    // The store at the platform's place for the current user.
    static std::unique_ptr<JournalStore> ForCurrentUser();

    const std::string& folder() const { return folder_; }
    std::string PathOf(const std::string& name) const;

    // Creates a new journal for a run started at `start`, creating the folder if needed;
    // `name` receives its file name.
    std::unique_ptr<JournalFile> CreateJournal(std::chrono::system_clock::time_point start,
                                               std::string& name, std::error_code& error);

    // The file names of the journals, oldest first; empty when the folder does not exist.
    std::vector<std::string> Names(std::error_code& error) const;

    // Removes the journals older than `maxAge` before `now`, then all but the newest
    // `keep` - 1, making room for one more.
    void Prune(std::chrono::system_clock::time_point now, std::chrono::hours maxAge,
               std::size_t keep) const;

  protected:
    // Creates `path` as a new file (failing if it exists), readable by the user alone.
    virtual std::unique_ptr<JournalFile> NewFile(const std::string& path, std::error_code& error);

  private:
    std::string folder_;
};

// A journal's file name for a run started at `time`, e.g. "2026-12-09_10-48-37.123456.journal".
std::string JournalName(std::chrono::system_clock::time_point time);
// Whether `name` has the form JournalName gives (with an optional "_N" before the extension),
// and the start time it encodes.
bool ParseJournalName(const std::string& name, std::chrono::system_clock::time_point& time);

// Reads a whole file.
std::error_code ReadWholeFile(const std::string& path, std::string& text);
// Reads the first and the last `bytes` of a file; a file of up to twice that many bytes comes
// whole in `head`, with `tail` empty.
std::error_code ReadFileEnds(const std::string& path, std::size_t bytes, std::string& head,
                             std::string& tail);

// The platform's part.
namespace journal_platform {
// Which platform wrote a journal: paths of one do not mean anything on the other.
extern const char kPlatform[];
std::string DefaultFolder();
std::unique_ptr<JournalFile> NewFile(const std::string& path, std::error_code& error);
// The chosen folder `path` as the journal names it: the folder that holds it resolved to its
// real path now (links, "." and ".." followed as the system follows them), then the folder's
// own name and the delimiters `path` ends with, as given. `path` made absolute as it is
// when it cannot be resolved.
std::string ChosenFolderPath(const std::string& path);
}  // namespace journal_platform

}  // namespace tovana
