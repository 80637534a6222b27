#include "rename/RenameRun.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <vector>

#include "names/PathRules.h"
#include "names/RenameRules.h"
#include "rename/LegacyScan.h"

namespace tovana {
namespace {

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
          sink_(sink),
          counters_(counters),
          stop_(stop),
          reading_(ReadingOf(options)),
          choosing_(options.Legacy == LegacyCodePage::Auto),
          namedEntry_(namedEntry) {
        fs_.SetNotes(this);
        FindJournalFolder(journalFolder);
    }
    ~Walk() override { fs_.SetNotes(nullptr); }
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
            sink_.FolderUnreadable(FolderPrefix(chosen.prefix.empty() ? "." : chosen.prefix),
                                   error);
            return;
        }
        path_ = chosen.prefix;
        const std::string name = fs_.StoredName(*parent, chosen.name);
        const std::optional<std::string> newName = NewName(name, false);
        if (!newName || *newName == name) {
            return;
        }
        sink_.BeginRenames({{chosen.prefix + name, *newName, false}});
        RenameItem(parent.get(), name, false, *newName);
        sink_.EndRenames();
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
            ScanTree(std::move(root));
        } else {
            // An entry that is there but opens as no folder (a file, a dangling link) is not a
            // folder: nothing is renamed, the chosen path itself least of all.
            const bool notAFolder =
                error == std::errc::not_a_directory ||
                (chosenId && (error == std::errc::no_such_file_or_directory ||
                              error == std::errc::too_many_symbolic_link_levels));
            if (notAFolder) {
                sink_.FolderUnreadable(path_, std::make_error_code(std::errc::not_a_directory));
                return;
            }
            sink_.FolderUnreadable(path_, error);
        }
        if (!chosen.name.empty() && options_.RenameDir) {
            ChosenFolderItself(parent.get(), chosen, chosenId);
        }
    }

  private:
    struct Planned {
        std::size_t index;  // of the entry in its folder's listing
        std::string newName;
        bool isFolder;
    };

    struct Level {
        std::unique_ptr<Folder> folder;
        EntryList entries;
        std::size_t next = 0;          // the entry being handled
        std::size_t pathLength = 0;    // of path_ while in this folder
        std::vector<Planned> planned;  // the renames of entries before planUntil
        std::size_t nextPlanned = 0;   // the first planned rename not yet made
        std::size_t planUntil = 0;     // the first entry not yet looked at for a rename
    };

    // A folder's renames are planned, announced and made this many at a time, so that a folder
    // of a million entries needs no million new names (nor journal lines) at once.
    static constexpr std::size_t kRenamesAtOnce = 1024;

    // Each look at the request that finds it made ends the run there.
    bool Stopping() {
        if (stop_.Stopping()) {
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
            sink_.FolderUnreadable(path_, error);
        }
        seen_ += level.entries.size();
        sink_.Progress(seen_);
        PlanFolder(level);
    }

    // Closes the innermost level: its batch of planned renames ends with it.
    void Leave() {
        if (!levels_.back().planned.empty()) {
            sink_.EndRenames();
        }
        levels_.pop_back();
    }

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
            // A link to a folder is renamed like a folder but never walked into: it could lead
            // outside the chosen folder or round in a loop.
            if (level.entries.kind(level.next) == EntryKind::Folder && WalksInto(name) &&
                !IsJournalFolder(*level.folder, name)) {
                path_.append(name);
                path_ += kFolderDelimiter;
                std::error_code error;
                if (auto sub = fs_.OpenSubfolder(*level.folder, std::string(name), error)) {
                    if (!Stopping()) {
                        Enter(std::move(sub));  // `level` is not used past this
                        continue;
                    }
                } else {
                    sink_.FolderUnreadable(path_, error);
                }
                path_.resize(level.pathLength);
            }
            RenamePlanned(level);
            ++level.next;
        }
    }

    bool WalksInto(std::string_view name) const { return options_.SubDir && name.front() != '.'; }

    // An empty name would make the target the folder itself; "." and ".." are not names.
    static bool Usable(const std::string& name) {
        return !name.empty() && name != "." && name != "..";
    }

    // The name the rules give, as the file system will keep it (Windows drops trailing dots
    // and spaces), so that rows, journal and counts tell what the entry is really called.
    std::optional<std::string> NewName(std::string_view name, bool isFolder) {
        if (choosing_ && !IsValidUtf8(name)) {
            ChooseLegacyCodePage();
        }
        std::optional<std::string> newName = Rewrite(name, isFolder, options_, reading_);
        if (newName) {
            std::string kept = NameTheSystemKeeps(*newName);
            if (Usable(kept)) {
                *newName = std::move(kept);
            }
        }
        return newName;
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
        std::vector<PlannedRename> announced;
        std::size_t i = level.planUntil;
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
            std::optional<std::string> newName = NewName(name, isFolder);
            if (newName && *newName != name &&
                !(kind == EntryKind::Folder && HoldsJournals(*level.folder, name))) {
                std::string path = path_;
                path.append(name);
                announced.push_back({std::move(path), *newName, isFolder});
                level.planned.push_back({i, std::move(*newName), isFolder});
            }
        }
        level.planUntil = i;
        if (!announced.empty()) {
            sink_.BeginRenames(announced);
        }
    }

    // Makes the planned rename of the level's current entry, if it has one.
    void RenamePlanned(Level& level) {
        if (level.next == level.planUntil) {
            // The renames planned so far are made: the next ones are planned.
            if (!level.planned.empty()) {
                sink_.EndRenames();
            }
            level.planned.clear();
            level.nextPlanned = 0;
            PlanFolder(level);
        }
        if (level.nextPlanned == level.planned.size() ||
            level.planned[level.nextPlanned].index != level.next) {
            return;
        }
        const Planned& planned = level.planned[level.nextPlanned++];
        RenameItem(level.folder.get(), level.entries.name(level.next), planned.isFolder,
                   planned.newName);
    }

    // `folder` is null when the folder holding the entry could not be opened (or no longer
    // holds the entry the run started from): the attempt is reported failed.
    void RenameItem(Folder* folder, std::string_view name, bool isFolder,
                    const std::string& newName) {
        if (Stopping()) {
            return;
        }
        LogEntry entry{path_ + std::string(name), rkFailed, newName, FailReason::None, {}};
        if (!Usable(NameTheSystemKeeps(newName))) {
            entry.Reason = FailReason::InvalidName;
        } else if (BecomesHidden(std::string(name), newName)) {
            entry.Reason = FailReason::WouldHide;
            entry.Error = MakeErrorCode(RunRefusal::WouldHide);
        } else if (folder == nullptr) {
            entry.Reason = FailReason::FolderUnreadable;
        } else if (const std::error_code error = fs_.Rename(*folder, std::string(name), newName)) {
            entry.Error = error;
            entry.Reason = ReasonOf(error);
        } else if (isFolder) {
            ++counters_.DirCount;
            entry.Kind = rkDirRenamed;
        } else {
            ++counters_.FileCount;
            entry.Kind = rkFileRenamed;
        }
        sink_.Append(std::move(entry));
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
        sink_.BeginRenames({{chosen.prefix + name, *newName, true}});
        RenameItem(parent, name, true, *newName);
        sink_.EndRenames();
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

    bool IsJournalFolder(Folder& folder, std::string_view name) {
        EntryId id;
        if (!journalFolder_ || fs_.Identify(folder, std::string(name), id) ||
            !(id == *journalFolder_)) {
            return false;
        }
        LeftAlone();
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
            sink_.JournalsLeftAlone(journalPath_);
        }
    }

    void TemporaryName(const std::string& from, const std::string& temporary,
                       bool leftThere) override {
        sink_.TemporaryName(path_ + from, temporary, leftThere);
    }

    void Fallback(RenameMethod method, bool folder) override {
        sink_.RenameFallback(path_, method, folder);
    }

    // The run's code page for names that are not UTF-8 is chosen from all of them together, so
    // when the walk meets the first one, the rest are looked up before anything else happens.
    // Every name met before was UTF-8, so none of them has been renamed yet.
    void ChooseLegacyCodePage() {
        choosing_ = false;
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
        reading_.legacy = LegacyReading{tovana::ChooseLegacyCodePage(names), true};
        sink_.LegacyChosen(reading_.legacy.codePage, names.size());
    }

    const RenameOptions& options_;
    FileSystem& fs_;
    RunSink& sink_;
    RunCounters& counters_;
    const StopRequest& stop_;
    std::size_t seen_ = 0;
    std::vector<Level> levels_;
    std::string path_;  // the current folder's prefix: the path of the entries renamed now
    NameReading reading_;
    bool choosing_;
    bool namedEntry_;  // the chosen path is a file to rename, not a folder to walk
    std::optional<EntryId> journalFolder_;  // the journals' folder, when there is one
    std::vector<EntryId> holdingJournals_;  // the folders above it
    std::string journalPath_;
    bool toldLeftAlone_ = false;
};

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
