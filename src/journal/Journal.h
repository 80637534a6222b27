// The journal of a run: what a real run (or an undo) is about to rename and how each rename
// went, written as the run goes so that everything it did can be found and put back, even
// after the process was killed half way.
//
// front end -> RunJournal (a RunSink in front of the front end's own sink) -> JournalFile
// ReadJournal -> Journal -> Undo / History
//
// The file is plain text, one record per line, fields separated by tabs and escaped as
// Escape.h says:
//
//   tovana-journal  2                         format and version
//   platform        posix | windows
//   program         tovana-cli 1.2.0.18
//   started         2026-12-09T10:48:37.123456Z
//   kind            run | undo
//   undoes          NAME                      an undo: the journal it undoes
//   folder          /home/jana/Fotky          the chosen folder, its real path at the start
//   option          SubDir  1                 a run: its eleven options
//   at              KEEP  REST                the folder of the intents and temporary names
//                                             that follow: the first KEEP bytes of the folder
//                                             the last `at` gave (none before the first), then
//                                             REST; absolute, ending with a delimiter
//   intent          ID  file|dir  NAME  NEW-NAME   NAME: the entry's old name in that folder
//   done            ID
//   failed          ID  REASON  SYSTEM-MESSAGE
//   temporary       NAME  TEMPORARY-NAME       a change of letter case alone goes through the
//                                              temporary name in the same folder (written
//                                              before the entry is moved there)
//   unreadable      PATH  SYSTEM-MESSAGE       a folder whose entries could not be read
//   incomplete      SYSTEM-MESSAGE             the journal could not be written further (disk
//                                              full): the last record, in room set aside for it
//   stopped                                    the run was asked to stop
//   end             FILES  DIRS  FAILED
//
// So each folder's path is written once, and a folder below or beside the last one costs only
// the names that differ: the journal grows with the entries, not with the depth of the tree.
// Version 1 had no `at`: its intents and temporary names carry the entry's whole old path
// (OLD-PATH in place of NAME). Journals of both versions are read.
//
// Intents are written (one write for a folder's batch) before the first of their renames is
// asked for; outcomes are written in the order the renames happened, before the next batch
// starts and when a batch ends. So an intent without an outcome belongs to the last batch and
// the disk tells whether it happened.
#pragma once

#include <deque>
#include <iosfwd>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "journal/JournalStore.h"
#include "rename/RenameRun.h"

namespace tovana {

struct JournalHeader {
    std::string Program;    // the program and its version
    RenameOptions Options;  // a run's options; for an undo only Path (the undone run's folder)
    std::string Undoes;     // an undo: the file name of the journal it undoes; empty for a run
    // A run of several paths in one journal: the other paths, as given. The journal's folder is
    // then the deepest folder holding them all.
    std::vector<std::string> OtherPaths = {};
};

// Writes the journal of one run and passes everything on to the front end's sink. Writing
// stops at the first failure, which error() then gives; where it can, the journal then ends
// with a record saying it is incomplete. A journal that cannot be created never stops the run
// (the front end says it cannot be undone); one that can no longer be written stops it, when
// asked to, before its next rename, so that every rename the run makes is in its journal.
class RunJournal : public RunSink {
  public:
    // Removes journals older than 90 days or beyond the newest 100, then creates this one.
    RunJournal(JournalStore& store, RunSink& front, const JournalHeader& header);
    ~RunJournal() override;

    void Append(LogEntry&& entry) override;
    void FolderUnreadable(const std::string& path, std::error_code error) override;
    void Progress(std::size_t entriesSeen) override;
    void BeginRenames(const std::vector<PlannedRename>& planned) override;
    void EndRenames() override;
    // What the front end is told besides the rows passes through unchanged.
    void LegacyChosen(LegacyCodePage codePage, std::size_t names) override {
        front_.LegacyChosen(codePage, names);
    }
    void TemporaryName(const std::string& path, const std::string& temporary,
                       bool leftThere) override;
    void RenameFallback(const std::string& folderPath, RenameMethod method, bool folder) override {
        front_.RenameFallback(folderPath, method, folder);
    }
    void JournalsLeftAlone(const std::string& path) override { front_.JournalsLeftAlone(path); }
    void JobsChosen(const std::string& folderPath, int jobs) override {
        front_.JobsChosen(folderPath, jobs);
    }
    // A run with several workers: the journal is written as their renames happen, through
    // the part returned; the calls that follow in walk order only pass on to the front end.
    RunSink* Parallel(bool starts) override;

    // Requests `stop` when the journal cannot be written further. `stop` must outlive this.
    void StopWhenUnwritable(StopRequest& stop) { stopWhenUnwritable_ = &stop; }

    // Writes the counts and puts the file on stable storage.
    void Finish(const RunCounters& counters);

    // The journal's full path; empty when it could not be created.
    const std::string& path() const { return path_; }
    // The first failure to create or write the journal.
    std::error_code error() const { return error_; }

  private:
    // The journal's own part of each call, made by the run's thread or, in a run with several
    // workers, by each worker as it goes.
    class Ahead : public RunSink {
      public:
        explicit Ahead(RunJournal& journal) : journal_(journal) {}
        void Append(LogEntry&& entry) override { journal_.WriteOutcome(entry); }
        void FolderUnreadable(const std::string& path, std::error_code error) override {
            journal_.WriteUnreadable(path, error);
        }
        void BeginRenames(const std::vector<PlannedRename>& planned) override {
            journal_.WriteIntents(planned);
        }
        void EndRenames() override { journal_.WriteEnd(); }
        void TemporaryName(const std::string& path, const std::string& temporary,
                           bool leftThere) override {
            journal_.WriteTemporary(path, temporary, leftThere);
        }

      private:
        RunJournal& journal_;
    };

    void WriteIntents(const std::vector<PlannedRename>& planned);
    void WriteOutcome(const LogEntry& entry);
    void WriteEnd();
    void WriteTemporary(const std::string& path, const std::string& temporary, bool leftThere);
    void WriteUnreadable(const std::string& path, std::error_code error);
    void Write(std::string_view text);
    void FlushOutcomes();
    std::string Recorded(const std::string& path) const;
    void MoveTo(std::string& text, std::string_view folder);
    std::string_view InFolder(std::string& text, const std::string& path);

    RunSink& front_;
    std::unique_ptr<JournalFile> file_;
    std::string path_;
    std::error_code error_;
    // Each path the run was given, and the same resolved to its real path, for the recorded
    // paths; the longest given first.
    std::vector<std::pair<std::string, std::string>> given_;
    std::string absolute_;  // the journal's folder: the chosen folder, or the one holding all
    std::size_t nextId_ = 1;
    std::string folder_;  // the folder of the intents, as the last `at` record made it
    // The folder part of the last entry's path as the run gave it, while folder_ is its recorded
    // path.
    std::string givenFolder_;
    bool knownFolder_ = false;
    std::string recorded_;  // room for the recorded path of the entry at hand
    std::string move_;      // room for the `at` record an intent may need first
    std::string intents_;   // room for a batch's intents
    struct Batch {
        std::size_t firstId;
        std::size_t count;
        std::size_t next = 0;
    };
    // Each thread's open batches, innermost last: a worker's nest as a one-worker run's do.
    std::map<std::thread::id, std::vector<Batch>> batches_;
    std::thread::id lastThread_;
    std::vector<Batch>* lastBatches_ = nullptr;
    std::vector<Batch>& ThreadBatches();
    std::mutex mutex_;  // over the file and everything written to it
    // Only the workers of a run with several write at once: a run's own thread alone takes no
    // lock (parallel_ changes only while no worker runs).
    std::unique_lock<std::mutex> Lock() {
        return parallel_ ? std::unique_lock(mutex_) : std::unique_lock<std::mutex>();
    }
    Ahead ahead_{*this};
    bool parallel_ = false;
    std::string outcomes_;  // written before the next batch or at its end
    int failed_ = 0;
    StopRequest* stopWhenUnwritable_ = nullptr;
};

enum class Outcome { Unknown, Done, Failed };

// The folders a journal names, each held once as the folder holding it and its own name, so that
// the journal of a deep tree reads into memory that grows with its entries, not with their depth
// (whole paths of 10,000 levels of 100-byte names would take gigabytes). A folder's whole path is
// its parent's, its name and a delimiter; kNone stands for the empty path that holds the others.
// Two folders of one table have the same path only when they are the same folder.
class JournalFolders {
  public:
    static constexpr std::size_t kNone = 0;
    static constexpr std::size_t kNotThere = static_cast<std::size_t>(-1);
    struct Folder {
        std::size_t Parent = kNone;
        std::size_t Depth = 0;   // names from kNone down to it
        std::size_t Length = 0;  // bytes of its whole path
        std::string Name;        // no delimiter in it
    };

    JournalFolders();
    JournalFolders(const JournalFolders&) = delete;
    JournalFolders& operator=(const JournalFolders&) = delete;

    std::size_t size() const { return folders_.size(); }
    const Folder& operator[](std::size_t folder) const { return folders_[folder]; }
    // The folder `name` inside `parent`, added when the table has none yet.
    std::size_t Add(std::size_t parent, std::string_view name);
    // ... or kNotThere.
    std::size_t Find(std::size_t parent, std::string_view name) const;
    // The folder that the delimiters of `path` lead to from `from` (kNotThere when the table has
    // none of that path); `path` keeps what follows its last delimiter.
    std::size_t FindPath(std::size_t from, std::string_view& path) const;
    // Appends the folder's whole path, its delimiter at the end.
    void AppendPath(std::string& path, std::size_t folder) const;

  private:
    struct Key {
        std::size_t parent;
        std::string_view name;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& key) const noexcept;
    };
    std::deque<Folder> folders_;  // never moved, so that the keys can view the names
    std::unordered_map<Key, std::size_t, KeyHash> index_;
};

// Where an entry of a journal was: a folder of the journal's table and the entry's name there,
// with no delimiter in it. The whole path is made only when it is asked for.
struct JournalPath {
    std::shared_ptr<const JournalFolders> Folders;
    std::size_t Folder = JournalFolders::kNone;
    std::string Name;

    std::string Whole() const;
    operator std::string() const { return Whole(); }
};

bool operator==(const JournalPath& a, const JournalPath& b);
bool operator==(const JournalPath& a, std::string_view whole);
std::ostream& operator<<(std::ostream& out, const JournalPath& path);

struct JournalEntry {
    bool IsFolder = false;
    JournalPath Path;  // the old full path, absolute
    std::string NewName;
    Outcome Result = Outcome::Unknown;
    FailReason Reason = FailReason::None;
    // The name the entry was moved to on the way to its new name, should it still be there.
    std::string Temporary;
};

struct Journal {
    std::string Name;  // file name
    std::string Platform;
    std::string Program;
    std::string Started;
    std::string Undoes;  // empty for a run
    std::string Folder;
    RenameOptions Options;
    std::vector<JournalEntry> Entries;        // in the order of their intents
    std::shared_ptr<JournalFolders> Folders;  // the folders their paths lie in
    // Indexes into Entries in the order the renames happened, as far as the journal knows:
    // outcomes as written, then the intents without one.
    std::vector<std::size_t> Order;
    bool Complete = false;  // the journal has its end: the run ended itself
    bool Stopped = false;   // ... early, because it was asked to stop
    // Writing the journal failed part way (disk full), so it may not name every rename; why.
    bool Incomplete = false;
    std::string IncompleteWhy;
    int Files = 0, Dirs = 0, Failed = 0;  // counted from the outcomes
};

enum class JournalProblem {
    None,
    Unreadable,     // the file cannot be read
    Damaged,        // not a journal, or a line that no journal holds
    OtherPlatform,  // written on another platform: its paths mean nothing here
};

// Reads a journal. An unfinished last line (a write cut short) is left out.
JournalProblem ReadJournal(const std::string& path, Journal& journal, std::string& detail);

struct JournalSummary {
    std::string Path;
    Journal Head;               // without entries
    bool Undone = false;        // an undo of it (not itself undone) exists
    bool PartlyUndone = false;  // ... but that undo failed for some entries or was cut short
    JournalProblem Problem = JournalProblem::None;
};

// Every journal in the store, oldest first, with whether it has been undone.
std::vector<JournalSummary> History(const JournalStore& store, std::error_code& error);

// The newest run (not an undo) that has not been wholly undone, or null.
const JournalSummary* NewestUndoable(const std::vector<JournalSummary>& history);

}  // namespace tovana
