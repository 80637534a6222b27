#include "rename/RenameRun.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "names/PathRules.h"
#include "names/PlainText.h"
#include "names/RenameRules.h"
#include "rename/LegacyScan.h"

namespace tovana {
namespace {

class Crew;

struct Task;

// What a worker's walk told, kept until the walk that offered the subfolder gets to it.
struct Event {
    enum class Type : unsigned char {
        Append,
        Unreadable,
        Progress,
        Begin,
        End,
        Legacy,
        Temporary,
        Fallback,
        LeftAlone,
        Subfolder,  // the events of a subfolder another worker walked, in their place
    };
    Type type = Type::End;
    bool flag = false;
    int code = 0;            // the code page, the rename method
    std::size_t number = 0;  // entries read, names not in UTF-8
    LogEntry entry{};
    std::string path;
    std::string text;
    std::error_code error;
    std::vector<PlannedRename> planned;
    std::shared_ptr<Task> task;
};

// An open folder of a walk: its entries and the next few renames planned there.
struct Level {
    std::unique_ptr<Folder> folder;
    EntryList entries;
    std::size_t next = 0;        // the entry being handled
    std::size_t pathLength = 0;  // of path_ while in this folder
    // The renames of entries before planUntil, as announced, and the index of each one's
    // entry in the listing.
    std::vector<PlannedRename> planned;
    std::vector<std::size_t> plannedIndex;
    std::size_t nextPlanned = 0;  // the first planned rename not yet made
    std::size_t planUntil = 0;    // the first entry not yet looked at for a rename
    // With several workers: the subfolders offered to them, in listing order, and the
    // first one the walk has not got to.
    std::vector<std::shared_ptr<Task>> offers;
    std::size_t nextOffer = 0;
};

// A subfolder offered to the other workers. The walk listing its folder walks into it itself
// when it gets there first; otherwise it waits there for the worker that took it.
struct Task {
    enum State { Offered, Inline, Taken, Done, Dropped };
    Task(Folder& in, std::string subfolder, std::string prefix, std::size_t at)
        : parent(&in), name(std::move(subfolder)), path(std::move(prefix)), index(at) {}
    ~Task();
    // The folder opened ahead goes to the walk: it no longer counts as held ahead.
    std::unique_ptr<Level> TakeOpened();
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;
    bool Claim(State by) {
        int expected = Offered;
        return state.compare_exchange_strong(expected, by);
    }
    Folder* parent;  // kept open by the offering walk until the task is done or dropped
    std::string name;
    std::string path;   // the subfolder's own prefix (none when looking ahead)
    std::size_t index;  // of the subfolder in its folder's listing
    std::atomic<int> state{Offered};
    // Written by the worker, read once the state is Done.
    std::vector<Event> events;
    bool stopped = false;
    // Looked at ahead (see Crew): the subfolder opened and listed, and its first renames
    // planned unless `planned` is false; or why it was not opened.
    std::unique_ptr<Level> opened;
    std::error_code openError;
    std::error_code readError;
    bool journals = false;   // it is the journals' folder: not walked into
    bool leftAlone = false;  // a folder in it holds the journals
    bool planned = false;
    Crew* aheadOf = nullptr;  // the crew that counts the folders held open ahead
    std::size_t entriesHeld = 0;
};

// Where the walks of a run with several workers report. The run's own walk passes everything
// on at once, a worker's keeps it for the walk that offered its subfolder; both first tell the
// sink's part that must hear of renames before they happen (a journal's).
class Channel : public RunSink {
  public:
    // The run's own walk's: to `out`, counting the renames of the subfolders workers walked.
    Channel(RunSink* ahead, RunSink& out, RunCounters& counters)
        : ahead_(ahead), out_(&out), counters_(&counters) {}
    // A worker's.
    Channel(RunSink* ahead, std::vector<Event>& kept) : ahead_(ahead), kept_(&kept) {}

    void Append(LogEntry&& entry) override {
        if (ahead_ != nullptr) {
            LogEntry copy = entry;
            ahead_->Append(std::move(copy));
        }
        if (out_ != nullptr) {
            out_->Append(std::move(entry));
        } else {
            Keep(Event::Type::Append).entry = std::move(entry);
        }
    }
    void FolderUnreadable(const std::string& path, std::error_code error) override {
        if (ahead_ != nullptr) {
            ahead_->FolderUnreadable(path, error);
        }
        if (out_ != nullptr) {
            out_->FolderUnreadable(path, error);
        } else {
            Event& event = Keep(Event::Type::Unreadable);
            event.path = path;
            event.error = error;
        }
    }
    // Each walk counts the entries it read; the run tells the sum over all walks before.
    void Progress(std::size_t entriesSeen) override {
        const std::size_t read = entriesSeen - lastSeen_;
        lastSeen_ = entriesSeen;
        if (out_ != nullptr) {
            Read(read);
        } else {
            Keep(Event::Type::Progress).number = read;
        }
    }
    void BeginRenames(const std::vector<PlannedRename>& planned) override {
        if (ahead_ != nullptr) {
            ahead_->BeginRenames(planned);
        }
        if (out_ != nullptr) {
            out_->BeginRenames(planned);
        } else {
            Keep(Event::Type::Begin).planned = planned;
        }
    }
    void EndRenames() override {
        if (ahead_ != nullptr) {
            ahead_->EndRenames();
        }
        if (out_ != nullptr) {
            out_->EndRenames();
        } else {
            Keep(Event::Type::End);
        }
    }
    // Every walk that meets a name not in UTF-8 tells of the run's one choice: told once.
    void LegacyChosen(LegacyCodePage codePage, std::size_t names) override {
        if (out_ == nullptr) {
            Event& event = Keep(Event::Type::Legacy);
            event.code = static_cast<int>(codePage);
            event.number = names;
        } else if (!toldLegacy_) {
            toldLegacy_ = true;
            out_->LegacyChosen(codePage, names);
        }
    }
    void TemporaryName(const std::string& path, const std::string& temporary,
                       bool leftThere) override {
        if (ahead_ != nullptr) {
            ahead_->TemporaryName(path, temporary, leftThere);
        }
        if (out_ != nullptr) {
            out_->TemporaryName(path, temporary, leftThere);
        } else {
            Event& event = Keep(Event::Type::Temporary);
            event.path = path;
            event.text = temporary;
            event.flag = leftThere;
        }
    }
    // Each worker's file system finds the fallbacks itself: told once per kind.
    void RenameFallback(const std::string& folderPath, RenameMethod method, bool folder) override {
        if (out_ == nullptr) {
            Event& event = Keep(Event::Type::Fallback);
            event.path = folderPath;
            event.code = static_cast<int>(method);
            event.flag = folder;
        } else if (toldFallbacks_.emplace(method, folder).second) {
            out_->RenameFallback(folderPath, method, folder);
        }
    }
    void JournalsLeftAlone(const std::string& path) override {
        if (out_ == nullptr) {
            Keep(Event::Type::LeftAlone).path = path;
        } else if (!toldLeftAlone_) {
            toldLeftAlone_ = true;
            out_->JournalsLeftAlone(path);
        }
    }

    // A subfolder a worker walked (done by now), its events in their place.
    void Splice(std::shared_ptr<Task> task) {
        if (out_ == nullptr) {
            Keep(Event::Type::Subfolder).task = std::move(task);
            return;
        }
        // Subfolders walked by workers within it are spliced in turn, without recursion.
        std::vector<std::pair<Task*, std::size_t>> open{{task.get(), 0}};
        while (!open.empty()) {
            Task& at = *open.back().first;
            if (open.back().second == at.events.size()) {
                if (at.stopped) {
                    counters_->Stopped = true;
                }
                open.pop_back();
                continue;
            }
            Event& event = at.events[open.back().second++];
            if (event.type == Event::Type::Subfolder) {
                open.emplace_back(event.task.get(), 0);
            } else {
                Pass(event);
            }
        }
    }

  private:
    Event& Keep(Event::Type type) {
        Event& event = kept_->emplace_back();
        event.type = type;
        return event;
    }

    void Read(std::size_t entries) {
        seenByAll_ += entries;
        out_->Progress(seenByAll_);
    }

    // A worker's event, now told in its place; its renames are counted now.
    void Pass(Event& event) {
        switch (event.type) {
            case Event::Type::Append:
                if (event.entry.Kind == rkDirRenamed) {
                    ++counters_->DirCount;
                } else if (event.entry.Kind == rkFileRenamed) {
                    ++counters_->FileCount;
                }
                out_->Append(std::move(event.entry));
                break;
            case Event::Type::Unreadable:
                out_->FolderUnreadable(event.path, event.error);
                break;
            case Event::Type::Progress:
                Read(event.number);
                break;
            case Event::Type::Begin:
                out_->BeginRenames(event.planned);
                break;
            case Event::Type::End:
                out_->EndRenames();
                break;
            case Event::Type::Legacy:
                if (!toldLegacy_) {
                    toldLegacy_ = true;
                    out_->LegacyChosen(static_cast<LegacyCodePage>(event.code), event.number);
                }
                break;
            case Event::Type::Temporary:
                out_->TemporaryName(event.path, event.text, event.flag);
                break;
            case Event::Type::Fallback: {
                const auto method = static_cast<RenameMethod>(event.code);
                if (toldFallbacks_.emplace(method, event.flag).second) {
                    out_->RenameFallback(event.path, method, event.flag);
                }
                break;
            }
            case Event::Type::LeftAlone:
                if (!toldLeftAlone_) {
                    toldLeftAlone_ = true;
                    out_->JournalsLeftAlone(event.path);
                }
                break;
            case Event::Type::Subfolder:
                break;
        }
    }

    RunSink* ahead_;
    RunSink* out_ = nullptr;
    RunCounters* counters_ = nullptr;
    std::vector<Event>* kept_ = nullptr;
    std::size_t lastSeen_ = 0;
    std::size_t seenByAll_ = 0;
    bool toldLegacy_ = false;
    bool toldLeftAlone_ = false;
    std::set<std::pair<RenameMethod, bool>> toldFallbacks_;
};

// The walk keeps one path, grown by a name on the way down and cut back on the way up, and for
// each open folder level its entries and the next few renames planned there: memory grows with
// the depth and the widest folder's names, time with the number of entries. Levels are kept on a
// stack of its own, not the call stack, so no depth overflows it.
class Walk : private RenameNotes {
  public:
    Walk(const RenameOptions& options, FileSystem& fileSystem, RunSink& sink, RunCounters& counters,
         const StopRequest& stop, const std::string& journalFolder, bool namedEntry = false)
        : options_(options),
          fs_(fileSystem),
          out_(sink),
          sink_(&sink),
          counters_(counters),
          stop_(stop),
          reading_(ReadingOf(options)),
          choosing_(options.Legacy == LegacyCodePage::Auto),
          namedEntry_(namedEntry) {
        fs_.SetNotes(this);
        FindJournalFolder(journalFolder);
    }
    // A worker's walk of a subfolder offered by a walk of the run whose own walk is `run`.
    Walk(const Walk& run, FileSystem& fileSystem, Channel& channel, RunCounters& counters,
         Crew& crew);

    ~Walk() override;
    Walk(const Walk&) = delete;
    Walk& operator=(const Walk&) = delete;

    // The chosen path itself, a file the user named: renamed by the rules in its folder,
    // whatever the mask.
    void GoNamedFile() {
        const ChosenFolder chosen = SplitChosenFolder(options_.Path);
        if (chosen.name.empty() || Stopping()) {
            return;
        }
        std::error_code error;
        std::unique_ptr<Folder> parent =
            fs_.OpenFolder(chosen.prefix.empty() ? "." : chosen.prefix, error);
        if (!parent) {
            sink_->FolderUnreadable(FolderPrefix(chosen.prefix.empty() ? "." : chosen.prefix),
                                    error);
            return;
        }
        path_ = chosen.prefix;
        const std::string name = fs_.StoredName(*parent, chosen.name);
        const std::optional<std::string> newName = NewName(name, false);
        if (!newName || *newName == name) {
            return;
        }
        sink_->BeginRenames({{chosen.prefix + name, *newName, false}});
        row_.Path = chosen.prefix + name;
        row_.PlainNames = false;
        row_.NewName = *newName;
        RenameItem(parent.get(), name, false);
        sink_->EndRenames();
    }

    void Go() {
        const ChosenFolder chosen = SplitChosenFolder(options_.Path);
        path_ = FolderPrefix(options_.Path);
        std::error_code error;
        std::unique_ptr<Folder> parent;
        std::unique_ptr<Folder> root;
        std::optional<EntryId> chosenId;
        if (chosen.name.empty()) {
            root = fs_.OpenFolder(path_, error);
        } else {
            // The chosen folder's parent is opened once, now: its own rename at the end goes
            // through it, whatever happens to the path above it meanwhile.
            parent = fs_.OpenFolder(chosen.prefix.empty() ? "." : chosen.prefix, error);
            if (parent) {
                EntryId id;
                if (!fs_.Identify(*parent, chosen.name, id)) {
                    chosenId = id;
                }
                root = fs_.OpenChosenFolder(*parent, chosen.name, error);
            }
        }
        if (root && IsJournalFolder(*root, ".")) {
            // nothing in it is renamed
        } else if (root) {
            StartCrew(*root);
            ScanTree(std::move(root));
        } else {
            // An entry that is there but opens as no folder (a file, a dangling link) is not a
            // folder: nothing is renamed, the chosen path itself least of all.
            const bool notAFolder =
                error == std::errc::not_a_directory ||
                (chosenId && (error == std::errc::no_such_file_or_directory ||
                              error == std::errc::too_many_symbolic_link_levels));
            if (notAFolder) {
                sink_->FolderUnreadable(path_, std::make_error_code(std::errc::not_a_directory));
                return;
            }
            sink_->FolderUnreadable(path_, error);
        }
        if (!chosen.name.empty() && options_.RenameDir) {
            ChosenFolderItself(parent.get(), chosen, chosenId);
        }
    }

    // A worker's: the subfolder of `task` and everything in it, but not its own rename.
    void GoTask(const Task& task) {
        path_ = task.path;
        if (IsJournalFolder(*task.parent, task.name, false) || Stopping()) {
            return;
        }
        std::error_code error;
        if (auto sub = fs_.OpenSubfolder(*task.parent, task.name, error)) {
            ScanTree(std::move(sub));
        } else {
            sink_->FolderUnreadable(path_, error);
        }
    }

  private:
    // A folder's renames are planned, announced and made this many at a time, so that a folder
    // of a million entries needs no million new names (nor journal lines) at once.
    static constexpr std::size_t kRenamesAtOnce = 1024;

    // Each look at the request that finds it made ends the run there.
    bool Stopping() {
        if (stop_.Stopping() || (crew_ != nullptr && Aborted())) {
            counters_.Stopped = true;
        }
        return counters_.Stopped;
    }

    // Entries are read before any of them is renamed, so each is handled once, under the name
    // it had when the run met it.
    void Enter(std::unique_ptr<Folder> folder) {
        levels_.emplace_back();
        Level& level = levels_.back();
        level.folder = std::move(folder);
        level.pathLength = path_.size();
        if (const std::error_code error = fs_.ReadEntries(*level.folder, level.entries)) {
            sink_->FolderUnreadable(path_, error);
        }
        seen_ += level.entries.size();
        sink_->Progress(seen_);
        PlanFolder(level);
        if (crew_ != nullptr) {
            Offer(level);
        }
    }

    // Closes the innermost level: its batch of planned renames ends with it.
    void Leave() {
        Level& level = levels_.back();
        if (crew_ != nullptr) {
            Settle(level);
        }
        if (!level.planned.empty()) {
            sink_->EndRenames();
        }
        if (lookahead_ && crew_ != nullptr) {
            // The paths were put together on this thread: their room serves the next ones.
            for (PlannedRename& planned : level.planned) {
                if (spareRoom_.size() == kSpareRoom) {
                    break;
                }
                if (planned.Path.capacity() != 0 && planned.Path.capacity() <= kSpareLength) {
                    spareRoom_.push_back(std::move(planned.Path));
                }
            }
            Retire(level);
        }
        levels_.pop_back();
    }
    void Retire(Level& level);

    // Every subfolder the walk would walk into is offered to the other workers.
    void Offer(Level& level);
    void MakeOffers(Level& level);

    // The offer of the level's current entry, if there is one. An offer passed by (the
    // journals' folder) is withdrawn or waited for.
    std::shared_ptr<Task> OfferHere(Level& level) {
        while (level.nextOffer < level.offers.size() &&
               level.offers[level.nextOffer]->index < level.next) {
            const std::shared_ptr<Task>& task = level.offers[level.nextOffer++];
            if (!task->Claim(Task::Dropped)) {
                Wait(*task);
                if (channel_ != nullptr) {
                    channel_->Splice(task);
                }
            }
        }
        if (level.nextOffer < level.offers.size() &&
            level.offers[level.nextOffer]->index == level.next) {
            return level.offers[level.nextOffer++];
        }
        return nullptr;
    }

    // The level's subfolders the walk did not get to (it was stopped): those no worker took
    // are withdrawn, the others waited for, and what their workers did told in its place.
    void Settle(Level& level);

    void ScanTree(std::unique_ptr<Folder> root) {
        if (Stopping()) {
            return;
        }
        Enter(std::move(root));
        while (!levels_.empty()) {
            Level& level = levels_.back();
            if (Stopping()) {
                Leave();
                continue;
            }
            if (level.next == level.entries.size()) {
                Leave();
                if (levels_.empty()) {
                    break;
                }
                // The folder left is renamed after its contents, in its parent.
                Level& parent = levels_.back();
                path_.resize(parent.pathLength);
                RenamePlanned(parent);
                ++parent.next;
                continue;
            }
            const std::string_view name = level.entries.name(level.next);
            const bool walksInto =
                level.entries.kind(level.next) == EntryKind::Folder && WalksInto(name);
            if (walksInto && lookahead_) {
                if (const std::shared_ptr<Task> task = OfferHere(level);
                    task && !task->Claim(Task::Inline)) {
                    Wait(*task);
                    if (TakeOver(*task)) {
                        continue;  // `level` is not used past this
                    }
                    RenamePlanned(level);
                    ++level.next;
                    continue;
                }
            }
            // A link to a folder is renamed like a folder but never walked into: it could lead
            // outside the chosen folder or round in a loop.
            if (walksInto && !IsJournalFolder(*level.folder, name)) {
                if (crew_ != nullptr && !lookahead_) {
                    const std::shared_ptr<Task> task = OfferHere(level);
                    if (task && !task->Claim(Task::Inline)) {
                        // A worker took it: its rows come here, before the folder's rename.
                        Wait(*task);
                        channel_->Splice(task);
                        RenamePlanned(level);
                        ++level.next;
                        continue;
                    }
                }
                path_.append(name);
                path_ += kFolderDelimiter;
                std::error_code error;
                if (auto sub = fs_.OpenSubfolder(*level.folder, std::string(name), error)) {
                    if (!Stopping()) {
                        ReleasePaths(level);
                        Enter(std::move(sub));  // `level` is not used past this
                        continue;
                    }
                } else {
                    sink_->FolderUnreadable(path_, error);
                }
                path_.resize(level.pathLength);
            }
            RenamePlanned(level);
            ++level.next;
        }
    }

    // The subfolder the worker looking ahead opened, listed and planned: the walk goes in as
    // if it had done that itself now. False when it does not go in (the journals' folder, a
    // folder that did not open, a stop).
    bool TakeOver(Task& task) {
        const std::size_t pathLength = path_.size();
        path_.append(task.name);
        path_ += kFolderDelimiter;
        if (task.journals) {
            LeftAlone();
        } else if (!task.opened) {
            sink_->FolderUnreadable(path_, task.openError);
        } else if (!Stopping()) {
            ReleasePaths(levels_.back());
            Level& level = levels_.emplace_back(std::move(*task.TakeOpened()));
            level.pathLength = path_.size();
            if (task.readError) {
                sink_->FolderUnreadable(path_, task.readError);
            }
            seen_ += level.entries.size();
            sink_->Progress(seen_);
            if (task.leftAlone) {
                LeftAlone();
            }
            if (!task.planned) {
                PlanFolder(level);
            } else if (!level.planned.empty()) {
                for (std::size_t i = 0; i < level.planned.size(); ++i) {
                    const std::string_view name = level.entries.name(level.plannedIndex[i]);
                    std::string& path = level.planned[i].Path;
                    if (!spareRoom_.empty()) {
                        path.swap(spareRoom_.back());
                        spareRoom_.pop_back();
                    }
                    path.reserve(path_.size() + name.size());
                    path = path_;
                    path += name;
                }
                sink_->BeginRenames(level.planned);
            }
            return true;  // its subfolders were offered by the worker
        }
        path_.resize(pathLength);
        return false;
    }

    // The worker's that looks ahead: opens and lists the task's subfolder and plans its first
    // renames, announcing nothing, for the run's walk to take over.
    void LookAhead(Task& task, bool plan) {
        if (stop_.Stopping()) {
            return;
        }
        if (IsJournalFolder(*task.parent, task.name, false)) {
            task.journals = true;
            return;
        }
        auto level = std::make_unique<Level>();
        level->folder = fs_.OpenSubfolder(*task.parent, task.name, task.openError);
        if (!level->folder) {
            return;
        }
        task.readError = fs_.ReadEntries(*level->folder, level->entries);
        if (plan) {
            PlanBatch(*level);
            task.planned = !unplannable_;
            if (unplannable_) {
                level->planned.clear();
                level->plannedIndex.clear();
                level->planUntil = 0;
            }
        }
        task.leftAlone = toldLeftAlone_;
        MakeOffers(*level);
        task.opened = std::move(level);
    }

    bool Unplannable() const { return unplannable_; }

    bool WalksInto(std::string_view name) const { return options_.SubDir && name.front() != '.'; }

    // An empty name would make the target the folder itself; "." and ".." are not names.
    static bool Usable(const std::string& name) {
        return !name.empty() && name != "." && name != "..";
    }

    // The name the rules give, as the file system will keep it (Windows drops trailing dots
    // and spaces), so that rows, journal and counts tell what the entry is really called.
    std::optional<std::string> NewName(std::string_view name, bool isFolder) {
        std::string newName;
        if (!NewNameInto(name, isFolder, newName)) {
            return std::nullopt;
        }
        return newName;
    }

    // The same into `out`, its room kept from name to name; false when the entry is not taken.
    bool NewNameInto(std::string_view name, bool isFolder, std::string& out) {
        if (choosing_ && !IsValidUtf8(name)) {
            if (ahead_) {
                // The run's own walk chooses the code page when it gets here.
                unplannable_ = true;
                return false;
            }
            ChooseLegacyCodePage();
        }
        if (!RewriteInto(name, isFolder, options_, reading_, out)) {
            return false;
        }
        if (MayLoseEnd(out)) {
            std::string kept = NameTheSystemKeeps(out);
            if (Usable(kept)) {
                out = std::move(kept);
            }
        }
        return true;
    }

    // Only a name that ends in a dot or a space may be kept shorter by the system.
    static bool MayLoseEnd(const std::string& name) {
        return !name.empty() && (name.back() == '.' || name.back() == ' ');
    }

    // A link is followed only when it matters: its name would change, taken as a file or as a
    // folder. Otherwise it is left alone, so a link into a mount that never answers cannot
    // stop a run that has nothing to do with it.
    EntryKind KindOfLink(Folder& folder, std::string_view name) {
        const auto changes = [&](bool isFolder) {
            const std::optional<std::string> newName = NewName(name, isFolder);
            return newName && *newName != name;
        };
        const bool mayChange = changes(false) || (WalksInto(name) && changes(true));
        return mayChange ? fs_.KindOfLink(folder, std::string(name)) : EntryKind::Link;
    }

    // The new name of each of the level's next entries whose name changes, up to
    // kRenamesAtOnce of them, announced to the sink before the first of these renames (a
    // journal writes them ahead).
    void PlanFolder(Level& level) {
        PlanBatch(level);
        if (!level.planned.empty()) {
            sink_->BeginRenames(level.planned);
        }
    }

    // The same, announcing nothing.
    void PlanBatch(Level& level) {
        std::size_t i = level.planUntil;
        level.planned.reserve(std::min(level.entries.size() - i, kRenamesAtOnce));
        level.plannedIndex.reserve(level.planned.capacity());
        for (; i < level.entries.size() && level.planned.size() < kRenamesAtOnce; ++i) {
            const std::string_view name = level.entries.name(i);
            EntryKind kind = level.entries.kind(i);
            if (kind == EntryKind::Link) {
                kind = KindOfLink(*level.folder, name);
            }
            const bool isFolder = kind == EntryKind::Folder || kind == EntryKind::FolderLink;
            if (kind == EntryKind::Link || kind == EntryKind::SystemFolder ||
                (isFolder && !WalksInto(name))) {
                continue;
            }
            if (!NewNameInto(name, isFolder, newName_) || newName_ == name ||
                (kind == EntryKind::Folder && HoldsJournals(*level.folder, name))) {
                continue;
            }
            PlannedRename& planned = level.planned.emplace_back();
            if (!ahead_) {  // looking ahead, the walk that takes over puts in the paths
                planned.Path.reserve(path_.size() + name.size());
                planned.Path = path_;
                planned.Path += name;
            }
            planned.NewName = newName_;
            planned.IsFolder = isFolder;
            // Found here, where the look-ahead worker plans, rather than by every sink.
            planned.PlainNames = IsPlainText(name) && IsPlainText(newName_);
            level.plannedIndex.push_back(i);
        }
        level.planUntil = i;
    }

    // Makes the planned rename of the level's current entry, if it has one.
    void RenamePlanned(Level& level) {
        if (level.next == level.planUntil) {
            // The renames planned so far are made: the next ones are planned.
            if (!level.planned.empty()) {
                sink_->EndRenames();
            }
            level.planned.clear();
            level.plannedIndex.clear();
            level.nextPlanned = 0;
            PlanFolder(level);
        }
        if (level.nextPlanned == level.planned.size() ||
            level.plannedIndex[level.nextPlanned] != level.next) {
            return;
        }
        // Announced by now: its path and new name go on to the row.
        PlannedRename& planned = level.planned[level.nextPlanned++];
        const std::string_view name = level.entries.name(level.next);
        // The row takes the strings (and gives its own room back to the plan, which no longer
        // needs it).
        if (planned.Path.empty()) {
            row_.Path.assign(path_);
            row_.Path += name;
        } else {
            row_.Path.swap(planned.Path);
        }
        row_.NewName.swap(planned.NewName);
        row_.PlainNames = planned.PlainNames;
        RenameItem(level.folder.get(), name, planned.IsFolder);
    }

    // The renames announced and not yet made keep their full paths only while their folder is
    // the innermost one; the walk going deeper lets them go, and they are put together again
    // when their turn comes. A tree thousands of folders deep keeps no path per level.
    static void ReleasePaths(Level& level) {
        for (std::size_t i = level.nextPlanned; i < level.planned.size(); ++i) {
            std::string().swap(level.planned[i].Path);
        }
    }

    // `folder` is null when the folder holding the entry could not be opened (or no longer
    // holds the entry the run started from): the attempt is reported failed. The entry's old
    // full path and its new name are in row_ already.
    void RenameItem(Folder* folder, std::string_view name, bool isFolder) {
        if (Stopping()) {
            return;
        }
        LogEntry& entry = row_;
        entry.Kind = rkFailed;
        entry.Reason = FailReason::None;
        entry.Error.clear();
        const bool usable = MayLoseEnd(entry.NewName) ? Usable(NameTheSystemKeeps(entry.NewName))
                                                      : Usable(entry.NewName);
        name_.assign(name);
        if (!usable) {
            entry.Reason = FailReason::InvalidName;
        } else if (BecomesHidden(name, entry.NewName)) {
            entry.Reason = FailReason::WouldHide;
            entry.Error = MakeErrorCode(RunRefusal::WouldHide);
        } else if (folder == nullptr) {
            entry.Reason = FailReason::FolderUnreadable;
        } else if (const std::error_code error = fs_.Rename(*folder, name_, entry.NewName)) {
            entry.Error = error;
            entry.Reason = ReasonOf(error);
        } else if (isFolder) {
            ++counters_.DirCount;
            entry.Kind = rkDirRenamed;
        } else {
            ++counters_.FileCount;
            entry.Kind = rkFileRenamed;
        }
        sink_->Append(std::move(entry));
    }

    // Renamed through the parent opened at the start, and only while the parent still holds
    // the entry the run started from under that name.
    void ChosenFolderItself(Folder* parent, const ChosenFolder& chosen,
                            const std::optional<EntryId>& chosenId) {
        if (Stopping()) {
            return;
        }
        path_ = chosen.prefix;
        // Typed by its short name or in another letter case, the folder still keeps its own
        // name for the rules.
        const std::string name = parent ? fs_.StoredName(*parent, chosen.name) : chosen.name;
        if (parent != nullptr && chosenId) {
            EntryId now;
            if (fs_.Identify(*parent, chosen.name, now) || !(now == *chosenId)) {
                parent = nullptr;
            }
        }
        const std::optional<std::string> newName = NewName(name, true);
        if (!newName || *newName == name) {
            return;
        }
        if (parent != nullptr && HoldsJournals(*parent, name)) {
            return;
        }
        sink_->BeginRenames({{chosen.prefix + name, *newName, true}});
        row_.Path = chosen.prefix + name;
        row_.NewName = *newName;
        row_.PlainNames = false;
        RenameItem(parent, name, true);
        sink_->EndRenames();
    }

    // The journals' folder and every folder above it, by identity: a path may reach them by
    // other names (links, bind mounts, "..", letter case).
    void FindJournalFolder(const std::string& journalFolder) {
        if (journalFolder.empty()) {
            return;
        }
        std::error_code error;
        std::unique_ptr<Folder> folder = fs_.OpenFolder(journalFolder, error);
        EntryId id;
        if (!folder || fs_.Identify(*folder, ".", id)) {
            return;
        }
        journalFolder_ = id;
        journalPath_ = journalFolder;
        // Up to the root, whose ".." is itself; a bound on the levels against a loop.
        for (int level = 0; folder && level < 4096; ++level) {
            EntryId above;
            if (fs_.Identify(*folder, "..", above) || above == id) {
                break;
            }
            holdingJournals_.push_back(above);
            id = above;
            folder = fs_.OpenSubfolder(*folder, "..", error);
        }
    }

    // A worker that took a subfolder looks again, without telling: the walk that offered it
    // tells, in its place.
    bool IsJournalFolder(Folder& folder, std::string_view name, bool tell = true) {
        EntryId id;
        if (!journalFolder_ || fs_.Identify(folder, std::string(name), id) ||
            !(id == *journalFolder_)) {
            return false;
        }
        if (tell) {
            LeftAlone();
        }
        return true;
    }

    // Whether the folder `name` is the journals' folder or holds it.
    bool HoldsJournals(Folder& folder, std::string_view name) {
        EntryId id;
        if (!journalFolder_ || fs_.Identify(folder, std::string(name), id)) {
            return false;
        }
        if (id == *journalFolder_ || std::find(holdingJournals_.begin(), holdingJournals_.end(),
                                               id) != holdingJournals_.end()) {
            LeftAlone();
            return true;
        }
        return false;
    }

    void LeftAlone() {
        if (!toldLeftAlone_) {
            toldLeftAlone_ = true;
            sink_->JournalsLeftAlone(journalPath_);
        }
    }

    void TemporaryName(const std::string& from, const std::string& temporary,
                       bool leftThere) override {
        sink_->TemporaryName(path_ + from, temporary, leftThere);
    }

    void Fallback(RenameMethod method, bool folder) override {
        sink_->RenameFallback(path_, method, folder);
    }

    // The run's code page for names that are not UTF-8 is chosen from all of them together, so
    // when the walk meets the first one, the rest are looked up before anything else happens.
    // Every name met before was UTF-8, so none of them has been renamed yet.
    void ChooseLegacyCodePage() {
        choosing_ = false;
        const auto [codePage, names] = crew_ != nullptr ? CodePageOfRun() : ChooseCodePage();
        reading_.legacy = LegacyReading{codePage, true};
        sink_->LegacyChosen(codePage, names);
    }

    // With several workers the first to meet such a name chooses, the others wait for it.
    std::pair<LegacyCodePage, std::size_t> CodePageOfRun();

    std::pair<LegacyCodePage, std::size_t> ChooseCodePage() {
        std::vector<std::string> names;
        const std::string root = FolderPrefix(options_.Path);
        std::error_code error;
        if (auto folder = fs_.OpenFolder(root, error)) {
            CollectLegacyNames(fs_, *folder, options_.SubDir, names);
        }
        const ChosenFolder chosen = SplitChosenFolder(options_.Path);
        if ((options_.RenameDir || namedEntry_) && !IsValidUtf8(chosen.name)) {
            names.push_back(chosen.name);
        }
        return {tovana::ChooseLegacyCodePage(names), names.size()};
    }

    // Several workers when the options ask for them, or when left to choose on a network or
    // FUSE file system; one where the file system cannot give each its own instance.
    void StartCrew(Folder& root);
    bool Aborted() const;
    void Wait(Task& task);

    friend class Crew;

    const RenameOptions& options_;
    FileSystem& fs_;
    RunSink& out_;   // the sink the run was given
    RunSink* sink_;  // where the walk reports: out_, or with several workers its channel
    RunCounters& counters_;
    const StopRequest& stop_;
    std::size_t seen_ = 0;
    std::vector<Level> levels_;
    std::string path_;  // the current folder's prefix: the path of the entries renamed now
    // Room kept from entry to entry: the new name being planned, the name being renamed, and
    // the row of the rename (a sink that keeps rows takes its room with it).
    std::string newName_;
    std::string name_;
    LogEntry row_;
    // Looking ahead: the room of paths whose renames are made, for the paths of the next ones
    // (not that of the long paths of deep trees).
    static constexpr std::size_t kSpareRoom = 4096;
    static constexpr std::size_t kSpareLength = 512;
    std::vector<std::string> spareRoom_;
    NameReading reading_;
    bool choosing_;
    bool namedEntry_;  // the chosen path is a file to rename, not a folder to walk
    std::optional<EntryId> journalFolder_;  // the journals' folder, when there is one
    std::vector<EntryId> holdingJournals_;  // the folders above it
    std::string journalPath_;
    bool toldLeftAlone_ = false;
    // With several workers: the run's crew and the walk's channel, the run's own walk owning
    // theirs.
    Crew* crew_ = nullptr;
    Channel* channel_ = nullptr;
    // One worker that only looks ahead (opens, lists, plans) while this walk renames.
    bool lookahead_ = false;
    bool ahead_ = false;        // this walk is that worker's
    bool unplannable_ = false;  // it met a name not in UTF-8 before the code page was chosen
    std::unique_ptr<Channel> ownChannel_;
    std::unique_ptr<Crew> ownCrew_;
};

// The workers of a run: each takes an offered subfolder, walks it with a walk of its own and
// its own file system, and keeps what it did for the walk that offered it.
//
// Or one worker that looks ahead for a run that renames on its own thread: it opens, lists
// and plans the subfolders the walk will come to next, so that the walk only renames. The
// walk takes over each folder as it gets there, so everything happens in the order and at
// the moment of a walk alone; a few folders are held open ahead at most.
class Crew {
  public:
    Crew(const Walk& run, RunSink* ahead, std::vector<std::unique_ptr<FileSystem>> fileSystems,
         bool lookahead = false)
        : run_(run),
          ahead_(ahead),
          reading_(run.reading_),
          choosing_(run.choosing_),
          lookahead_(lookahead),
          fileSystems_(std::move(fileSystems)) {
        for (const auto& fileSystem : fileSystems_) {
            threads_.emplace_back([this, fs = fileSystem.get()] { Work(*fs); });
        }
    }
    ~Crew() {
        {
            const std::lock_guard lock(mutex_);
            closing_ = true;
        }
        work_.notify_all();
        for (std::thread& thread : threads_) {
            thread.join();
        }
    }
    Crew(const Crew&) = delete;
    Crew& operator=(const Crew&) = delete;

    // Workers take the oldest offers first, a folder's last subfolders first: the walk that
    // offered them starts from its first. Looking ahead, the newest come first, a folder's
    // first subfolder first: that is where the walk goes next.
    void Offer(const std::vector<std::shared_ptr<Task>>& tasks) {
        if (tasks.empty()) {
            return;
        }
        {
            const std::lock_guard lock(mutex_);
            if (lookahead_) {
                queue_.insert(queue_.begin(), tasks.begin(), tasks.end());
            } else {
                queue_.insert(queue_.end(), tasks.rbegin(), tasks.rend());
            }
        }
        work_.notify_all();
    }

    // A folder opened ahead was taken over or given up.
    void Released(std::size_t entries) {
        bool wake = false;
        {
            const std::lock_guard lock(mutex_);
            --held_;
            entriesHeld_ -= entries;
            // The worker waiting for room is woken once half of it is free, and fills it in
            // one go rather than a folder at a time.
            if (roomWanted_ && held_ <= kHeldAhead / 2 && entriesHeld_ <= kEntriesHeldAhead / 2) {
                roomWanted_ = false;
                wake = true;
            }
        }
        if (wake) {
            work_.notify_all();
        }
    }

    // Looking ahead: the listing and the renames of a folder the walk is done with are freed
    // by the worker, which made most of them, and not on the run's thread.
    void Retire(Level& level) {
        Spent spent{std::move(level.entries), std::move(level.planned)};
        const std::lock_guard lock(mutex_);
        spent_.push_back(std::move(spent));
    }

    void Wait(Task& task) {
        std::unique_lock lock(mutex_);
        done_.wait(lock, [&] { return task.state.load() == Task::Done; });
    }

    // Every walk stops at its next look (the run's own walk is ending by an exception).
    void Abort() { abort_.store(true); }
    bool Aborted() const { return abort_.load(); }

    std::pair<LegacyCodePage, std::size_t> CodePage(Walk& walk) {
        const std::lock_guard lock(codePageMutex_);
        if (!codePage_) {
            codePage_ = walk.ChooseCodePage();
        }
        return *codePage_;
    }

    const NameReading& reading() const { return reading_; }
    bool choosing() const { return choosing_; }

  private:
    void Work(FileSystem& fileSystem) {
        std::vector<Spent> spent;
        for (;;) {
            std::shared_ptr<Task> task;
            {
                std::unique_lock lock(mutex_);
                while (!closing_ && (queue_.empty() || held_ >= kHeldAhead ||
                                     entriesHeld_ >= kEntriesHeldAhead)) {
                    roomWanted_ = !queue_.empty();
                    work_.wait(lock);
                }
                roomWanted_ = false;
                if (closing_) {
                    return;
                }
                task = std::move(queue_.front());
                queue_.pop_front();
                spent.swap(spent_);
            }
            spent.clear();
            if (!task->Claim(Task::Taken)) {
                continue;  // the offering walk got there first, or withdrew it
            }
            try {
                Channel channel(ahead_, task->events);
                RunCounters counters;
                Walk walk(run_, fileSystem, channel, counters, *this);
                if (lookahead_) {
                    walk.ahead_ = true;
                    walk.LookAhead(*task, planning_);
                    // Once a name not in UTF-8 came up, the walk plans: it chooses the code page.
                    planning_ = planning_ && !walk.Unplannable();
                    if (task->opened) {
                        {
                            const std::lock_guard lock(mutex_);
                            ++held_;
                            task->entriesHeld = task->opened->entries.size();
                            entriesHeld_ += task->entriesHeld;
                            task->aheadOf = this;
                        }
                        // Its subfolders are looked at next, before the rest: the walk
                        // goes into them first.
                        Offer(task->opened->offers);
                    }
                } else {
                    walk.GoTask(*task);
                }
                task->stopped = counters.Stopped;
            } catch (...) {
                // Out of memory: the run ends, having told what it did.
                Abort();
                task->stopped = true;
            }
            {
                const std::lock_guard lock(mutex_);
                task->state.store(Task::Done);
            }
            done_.notify_all();
        }
    }

    const Walk& run_;
    RunSink* ahead_;
    const NameReading reading_;
    const bool choosing_;
    const bool lookahead_;
    // Looking ahead: folders held open and listed before the walk gets there, and their
    // entries; no more is looked at while either is at its bound (a folder of a million
    // entries is still listed whole, as the walk would).
    static constexpr int kHeldAhead = 32;
    static constexpr std::size_t kEntriesHeldAhead = 65536;
    int held_ = 0;
    std::size_t entriesHeld_ = 0;
    bool roomWanted_ = false;
    bool planning_ = true;
    std::vector<std::unique_ptr<FileSystem>> fileSystems_;
    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable done_;
    std::deque<std::shared_ptr<Task>> queue_;
    struct Spent {
        EntryList entries;
        std::vector<PlannedRename> planned;
    };
    std::vector<Spent> spent_;
    bool closing_ = false;
    std::atomic<bool> abort_{false};
    std::mutex codePageMutex_;
    std::optional<std::pair<LegacyCodePage, std::size_t>> codePage_;
    std::vector<std::thread> threads_;
};

Task::~Task() {
    if (aheadOf == nullptr) {
        return;
    }
    if (opened) {
        // Never taken over (the run stopped): its subfolders were offered from it too, and
        // none may still be opened through it.
        for (const std::shared_ptr<Task>& task : opened->offers) {
            if (!task->Claim(Task::Dropped)) {
                aheadOf->Wait(*task);
            }
        }
    }
    aheadOf->Released(entriesHeld);
}

void Walk::Retire(Level& level) {
    crew_->Retire(level);
}

std::unique_ptr<Level> Task::TakeOpened() {
    if (aheadOf != nullptr) {
        aheadOf->Released(entriesHeld);
        aheadOf = nullptr;
    }
    return std::move(opened);
}

Walk::Walk(const Walk& run, FileSystem& fileSystem, Channel& channel, RunCounters& counters,
           Crew& crew)
    : options_(run.options_),
      fs_(fileSystem),
      out_(channel),
      sink_(&channel),
      counters_(counters),
      stop_(run.stop_),
      reading_(crew.reading()),
      choosing_(crew.choosing()),
      namedEntry_(run.namedEntry_),
      journalFolder_(run.journalFolder_),
      holdingJournals_(run.holdingJournals_),
      journalPath_(run.journalPath_),
      crew_(&crew),
      channel_(&channel) {
    fs_.SetNotes(this);
}

Walk::~Walk() {
    if (crew_ != nullptr && !levels_.empty()) {
        // Left by an exception: no worker may still use the folders of its levels.
        crew_->Abort();
        for (Level& level : levels_) {
            for (; level.nextOffer < level.offers.size(); ++level.nextOffer) {
                Task& task = *level.offers[level.nextOffer];
                if (!task.Claim(Task::Dropped)) {
                    crew_->Wait(task);
                }
            }
        }
        levels_.clear();  // before the crew its tasks may tell
    }
    if (ownChannel_) {
        out_.Parallel(false);
    }
    fs_.SetNotes(nullptr);
}

void Walk::Offer(Level& level) {
    MakeOffers(level);
    crew_->Offer(level.offers);
}

void Walk::MakeOffers(Level& level) {
    for (std::size_t i = 0; i < level.entries.size(); ++i) {
        const std::string_view name = level.entries.name(i);
        if (level.entries.kind(i) == EntryKind::Folder && WalksInto(name)) {
            // Looking ahead, the paths are those of the walk that takes over: a tree a
            // thousand folders deep keeps no thousand of them.
            std::string path;
            if (!lookahead_ && !ahead_) {
                path = path_;
                path.append(name);
                path += kFolderDelimiter;
            }
            level.offers.push_back(
                std::make_shared<Task>(*level.folder, std::string(name), std::move(path), i));
        }
    }
}

void Walk::Settle(Level& level) {
    for (; level.nextOffer < level.offers.size(); ++level.nextOffer) {
        const std::shared_ptr<Task>& task = level.offers[level.nextOffer];
        if (!task->Claim(Task::Dropped)) {
            crew_->Wait(*task);
            if (channel_ != nullptr) {
                channel_->Splice(task);
            }
        }
    }
    level.offers.clear();
    level.nextOffer = 0;
}

std::pair<LegacyCodePage, std::size_t> Walk::CodePageOfRun() {
    return crew_->CodePage(*this);
}

bool Walk::Aborted() const {
    return crew_->Aborted();
}

void Walk::Wait(Task& task) {
    crew_->Wait(task);
}

void Walk::StartCrew(Folder& root) {
    int jobs = options_.Jobs;
    if (jobs <= 0) {
        jobs = fs_.Remote(root) ? kRemoteJobs : 1;
        if (jobs > 1) {
            out_.JobsChosen(path_, jobs);
        } else if (std::thread::hardware_concurrency() > 1) {
            // Where renames are quick, the walk renames alone and a second thread opens,
            // lists and plans the folders ahead of it.
            if (std::unique_ptr<FileSystem> clone = fs_.Clone()) {
                std::vector<std::unique_ptr<FileSystem>> fileSystems;
                fileSystems.push_back(std::move(clone));
                ownCrew_ = std::make_unique<Crew>(*this, nullptr, std::move(fileSystems), true);
                crew_ = ownCrew_.get();
                lookahead_ = true;
            }
            return;
        }
    }
    std::vector<std::unique_ptr<FileSystem>> fileSystems;
    for (int i = 1; i < jobs; ++i) {
        std::unique_ptr<FileSystem> clone = fs_.Clone();
        if (!clone) {
            return;
        }
        fileSystems.push_back(std::move(clone));
    }
    if (fileSystems.empty()) {
        return;
    }
    RunSink* ahead = out_.Parallel(true);
    ownChannel_ = std::make_unique<Channel>(ahead, out_, counters_);
    channel_ = ownChannel_.get();
    sink_ = channel_;
    ownCrew_ = std::make_unique<Crew>(*this, ahead, std::move(fileSystems));
    crew_ = ownCrew_.get();
}

class RunRefusalCategoryImpl : public std::error_category {
  public:
    const char* name() const noexcept override { return "tovana-run"; }
    std::string message(int value) const override {
        switch (static_cast<RunRefusal>(value)) {
            case RunRefusal::WouldHide:
                return "the new name would hide the entry";
        }
        return "refused";
    }
};

}  // namespace

const std::error_category& RunRefusalCategory() {
    static const RunRefusalCategoryImpl category;
    return category;
}

std::error_code MakeErrorCode(RunRefusal refusal) {
    return {static_cast<int>(refusal), RunRefusalCategory()};
}

void Run(const RenameOptions& options, FileSystem& fileSystem, RunSink& sink,
         RunCounters& counters) {
    const StopRequest never;
    Run(options, fileSystem, sink, counters, never);
}

void Run(const RenameOptions& options, FileSystem& fileSystem, RunSink& sink, RunCounters& counters,
         const StopRequest& stop) {
    Run(options, fileSystem, sink, counters, stop, {});
}

void Run(const RenameOptions& options, FileSystem& fileSystem, RunSink& sink, RunCounters& counters,
         const StopRequest& stop, const std::string& journalFolder) {
    counters = RunCounters{};
    Walk walk(options, fileSystem, sink, counters, stop, journalFolder);
    walk.Go();
}

void RenameNamedFile(const RenameOptions& options, FileSystem& fileSystem, RunSink& sink,
                     RunCounters& counters, const StopRequest& stop) {
    counters = RunCounters{};
    RenameOptions named = options;
    named.Masks = "*.*";  // the user chose the file: the mask is for files met in a walk
    Walk walk(named, fileSystem, sink, counters, stop, std::string(), true);
    walk.GoNamedFile();
}

void StopRequest::Pause() {
    const std::lock_guard lock(mutex_);
    paused_.store(true);
}

void StopRequest::Resume() {
    {
        const std::lock_guard lock(mutex_);
        paused_.store(false);
    }
    resumed_.notify_all();
}

bool StopRequest::Stopping() const {
    if (paused_.load()) {
        std::unique_lock lock(mutex_);
        while (paused_.load() && !Requested()) {
            // A signal handler cannot wake the wait; the request is looked at now and then.
            resumed_.wait_for(lock, std::chrono::milliseconds(20));
        }
    }
    return Requested();
}

std::string NotAFolderText(const std::string& path) {
    return path + " není adresář";
}

std::string SummaryText(const RunCounters& counters) {
    char text[128];
    std::snprintf(text, sizeof text, "Přejmenováno:\r\r%d souborů\r%d adresářů", counters.FileCount,
                  counters.DirCount);
    return counters.Stopped ? std::string("Přejmenování přerušeno.\r\r") + text : text;
}

}  // namespace tovana
