#include "journal/Undo.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string_view>

#include "names/PathRules.h"
#include "rename/DryRunFileSystem.h"

namespace tovana {
namespace {

// Journal lines the undo refuses without asking the file system.
enum class UndoRefusal {
    OutsideFolder = 1,  // the path is not inside the journal's folder, or not a plain name
};

class UndoRefusalCategory : public std::error_category {
  public:
    const char* name() const noexcept override { return "tovana-undo"; }
    std::string message(int) const override {
        return "the journal names it outside the run's folder; refused";
    }
};

std::error_code MakeErrorCode(UndoRefusal refusal) {
    static const UndoRefusalCategory category;
    return {static_cast<int>(refusal), category};
}

// A name of one entry: no delimiter of any platform in it, and not one of the names that
// stand for a folder itself or its parent. Where a path may hold a drive (Windows), a colon
// would name a drive or a stream of the entry.
bool PlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find(kFolderDelimiter) == std::string_view::npos &&
           name.find('/') == std::string_view::npos &&
           (kFolderDelimiter == '/' || name.find(':') == std::string_view::npos);
}

constexpr std::size_t kNotThere = JournalFolders::kNotThere;
// Where a step is: the folder holding the run's folder, rather than a folder of the journal.
constexpr std::size_t kTop = kNotThere - 1;

struct Step {
    const JournalEntry* entry;
    std::size_t folder;        // the journal's folder holding it, or kTop
    std::string_view oldName;  // the name to give back
    bool known;                // the journal says the rename happened
};

// Every entry is reached the way the run reached it: from the folder that holds the run's
// folder, opened once by its path, then one name at a time through open folders, never through
// a link. A journal line naming anything outside the run's folder is refused.
//
// The journal holds each folder once (JournalFolders), and so does the undo: the folders open
// on the way down, which entries lie inside the run's folder, and the folders that could not get
// their old names back are kept per folder, never as whole paths. Whole paths are made only for
// the rows, so that a tree of any depth is undone in memory that grows with its entries.
class Undoer {
  public:
    Undoer(FileSystem& fileSystem, RunSink& sink, RunCounters& counters, const StopRequest& stop,
           bool dryRun)
        : fs_(fileSystem), sink_(sink), counters_(counters), stop_(stop), dryRun_(dryRun) {}

    int Run(const Journal& journal) {
        counters_ = RunCounters{};
        if (journal.Entries.empty() || !journal.Folders) {
            return 0;
        }
        folders_ = journal.Folders.get();
        chosen_ = SplitChosenFolder(journal.Folder);
        const std::string base = FolderPrefix(journal.Folder);
        top_ = chosen_.name.empty() ? base : chosen_.prefix;
        undoes_ = !journal.Undoes.empty();
        std::string_view rest = base;
        base_ = folders_->FindPath(JournalFolders::kNone, rest);
        if (base_ != kNotThere && !rest.empty()) {
            base_ = kNotThere;
        }
        chosenHead_ = chosen_.prefix;
        chosenIn_ = folders_->FindPath(JournalFolders::kNone, chosenHead_);
        below_.assign(folders_->size(), Below::Unknown);
        std::vector<const JournalEntry*> order;
        for (auto it = journal.Order.rbegin(); it != journal.Order.rend(); ++it) {
            const JournalEntry& entry = journal.Entries[*it];
            if (entry.Result != Outcome::Failed || !entry.Temporary.empty()) {
                order.push_back(&entry);
            }
        }
        // One batch per run of entries in the same folder, as a run has one per folder.
        for (std::size_t first = 0; first < order.size() && !Stopping();) {
            const std::size_t folder = Where(*order[first]);
            if (folder == kNotThere) {
                Refuse(*order[first]);
                ++first;
                continue;
            }
            std::vector<Step> steps;
            for (std::size_t i = first; i < order.size() && Where(*order[i]) == folder; ++i) {
                steps.push_back(StepFor(*order[i], folder));
            }
            first += steps.size();
            UndoFolder(folder, steps);
        }
        return failed_;
    }

  private:
    // Each look at the request that finds it made ends the undo there.
    bool Stopping() {
        if (stop_.Stopping()) {
            counters_.Stopped = true;
        }
        return counters_.Stopped;
    }

    // The folder of the line's entry: kTop for the run's folder itself, a folder of the journal
    // for an entry inside the run's folder named by plain names, else kNotThere.
    std::size_t Where(const JournalEntry& entry) {
        if (!PlainName(entry.NewName) ||
            (!entry.Temporary.empty() && !PlainName(entry.Temporary))) {
            return kNotThere;
        }
        const JournalPath& path = entry.Path;
        if (!chosen_.name.empty() && path.Folder == chosenIn_ &&
            path.Name.starts_with(chosenHead_)) {
            // The run's folder itself; in an undo's journal, under the name the run gave it,
            // getting back the one the journal names.
            const std::string_view name = std::string_view(path.Name).substr(chosenHead_.size());
            if (name == chosen_.name ||
                (undoes_ && entry.IsFolder && entry.NewName == chosen_.name && PlainName(name))) {
                return kTop;
            }
        }
        return PlainName(path.Name) && InsideRunsFolder(path.Folder) ? path.Folder : kNotThere;
    }

    // Whether `folder` is the run's folder or one below it by plain names; worked out once for
    // each folder of the journal.
    bool InsideRunsFolder(std::size_t folder) {
        if (base_ == kNotThere) {
            return false;
        }
        const std::size_t baseDepth = (*folders_)[base_].Depth;
        std::vector<std::size_t>& chain = scratch_;
        chain.clear();
        Below known = Below::No;
        for (std::size_t at = folder;; at = (*folders_)[at].Parent) {
            if (at == base_) {
                known = Below::Yes;
                break;
            }
            if (below_[at] != Below::Unknown || (*folders_)[at].Depth <= baseDepth) {
                known = below_[at] == Below::Yes ? Below::Yes : Below::No;
                break;
            }
            chain.push_back(at);
        }
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            if (known == Below::Yes && !PlainName((*folders_)[*it].Name)) {
                known = Below::No;
            }
            below_[*it] = known;
        }
        return known == Below::Yes;
    }

    void Refuse(const JournalEntry& entry) {
        const std::string path = entry.Path.Whole();
        sink_.BeginRenames({{path, entry.NewName, entry.IsFolder}});
        LogEntry row{path, rkFailed, entry.NewName, FailReason::Other,
                     MakeErrorCode(UndoRefusal::OutsideFolder)};
        ++failed_;
        sink_.Append(std::move(row));
        sink_.EndRenames();
    }

    Step StepFor(const JournalEntry& entry, std::size_t folder) const {
        std::string_view name = entry.Path.Name;
        if (folder == kTop) {
            name.remove_prefix(chosenHead_.size());
        }
        return {&entry, folder, name, entry.Result == Outcome::Done};
    }

    // The folder a step renames, as a folder of the journal (kNotThere when nothing in the
    // journal lies inside it).
    std::size_t FolderOf(const Step& step) const {
        return folders_->Find(step.entry->Path.Folder, step.entry->Path.Name);
    }

    // The name a folder has now: a folder that could not get its old name back is still under
    // its new one, and the entries inside it are put back there.
    const std::string& NameNow(std::size_t folder) const {
        const auto moved = moved_.find(folder);
        return moved != moved_.end() ? moved->second : (*folders_)[folder].Name;
    }

    // ... and on disk: a dry run leaves the folders it would have put back under their new names.
    const std::string& NameOnDisk(std::size_t folder) const {
        const auto left = notRenamed_.find(folder);
        if (left != notRenamed_.end()) {
            return left->second;
        }
        return folder == base_ && moved_.count(folder) == 0 ? chosen_.name : NameNow(folder);
    }

    // The path of `folder` as the rows name it: where it is now, its delimiter at the end. The
    // last one is kept: the next batch is most often in the same folder, one inside it (the undo
    // of a deep tree goes down) or the one holding it.
    const std::string& PathNow(std::size_t folder) {
        if (folder == kTop) {
            return chosen_.prefix;
        }
        if (folder == pathNowOf_) {
            return pathNow_;
        }
        if (pathNowOf_ != kNotThere && pathNowOf_ != kTop) {
            if ((*folders_)[folder].Parent == pathNowOf_) {
                pathNow_ += NameNow(folder);
                pathNow_ += kFolderDelimiter;
                pathNowOf_ = folder;
                return pathNow_;
            }
            if ((*folders_)[pathNowOf_].Parent == folder) {
                pathNow_.resize(pathNow_.size() - NameNow(pathNowOf_).size() - 1);
                pathNowOf_ = folder;
                return pathNow_;
            }
        }
        std::vector<std::size_t>& chain = scratch_;
        chain.clear();
        std::size_t length = 0;
        for (std::size_t at = folder; at != JournalFolders::kNone; at = (*folders_)[at].Parent) {
            chain.push_back(at);
            length += NameNow(at).size() + 1;
        }
        pathNow_.clear();
        pathNow_.reserve(length);
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            pathNow_ += NameNow(*it);
            pathNow_ += kFolderDelimiter;
        }
        pathNowOf_ = folder;
        return pathNow_;
    }

    // How many folders lie between the top one and `folder`, which is the run's folder or one
    // below it.
    std::size_t DepthBelowTop(std::size_t folder) const {
        return (*folders_)[folder].Depth - (*folders_)[base_].Depth +
               (chosen_.name.empty() ? 0 : 1);
    }

    // The folder `folder` (kTop, or the run's folder or one below it) reached from the top one
    // name at a time. The folders open for the previous batch are kept as far as they lead to
    // this one: a batch after a folder's contents goes up by one, not down again from the top.
    Folder* Reach(std::size_t folder, std::error_code& error) {
        if (!topFolder_ && !topError_) {
            topFolder_ = fs_.OpenFolder(top_.empty() ? "." : top_, topError_);
        }
        if (!topFolder_) {
            error = topError_;
            return nullptr;
        }
        if (folder == kTop) {
            open_.clear();
            return topFolder_.get();
        }
        // The folders to open, deepest first: those below what is open, then those where the
        // open ones lead elsewhere.
        std::vector<std::size_t>& down = scratch_;
        down.clear();
        std::size_t depth = DepthBelowTop(folder);
        std::size_t at = folder;
        for (; depth > open_.size(); --depth, at = (*folders_)[at].Parent) {
            down.push_back(at);
        }
        open_.resize(depth);
        for (; depth > 0 && open_.back().first != at; --depth, at = (*folders_)[at].Parent) {
            down.push_back(at);
            open_.pop_back();
        }
        for (auto it = down.rbegin(); it != down.rend(); ++it) {
            Folder& parent = open_.empty() ? *topFolder_ : *open_.back().second;
            // The run's folder itself is opened as the run opened it, by its name in the folder
            // holding it (a link there is followed: the user named it); below it, no link is.
            const std::string& name = NameOnDisk(*it);
            std::unique_ptr<Folder> opened = *it == base_ && !chosen_.name.empty()
                                                 ? fs_.OpenChosenFolder(parent, name, error)
                                                 : fs_.OpenSubfolder(parent, name, error);
            if (!opened) {
                open_.clear();
                return nullptr;
            }
            open_.emplace_back(*it, std::move(opened));
        }
        return open_.empty() ? topFolder_.get() : open_.back().second.get();
    }

    bool SameEntry(Folder& folder, const std::string& a, const std::string& b) {
        EntryId idA;
        EntryId idB;
        return !fs_.Identify(folder, a, idA) && !fs_.Identify(folder, b, idB) && idA == idB;
    }

    // An entry found under its old name and no longer under its new one has been put back
    // already (an earlier undo of the same run that was stopped, killed or failed in part).
    // Where entries cannot be identified (Windows), the folder's listing tells, read once.
    bool AlreadyBack(Folder& folder, const std::string& newName, const std::string& oldName,
                     std::set<std::string>& names, bool& listed) {
        EntryId id;
        const std::error_code error = fs_.Identify(folder, newName, id);
        if (error != std::errc::function_not_supported) {
            return error == std::errc::no_such_file_or_directory &&
                   !fs_.Identify(folder, oldName, id);
        }
        if (!listed) {
            List(folder, names);
            listed = true;
        }
        return names.count(newName) == 0 && names.count(oldName) != 0;
    }

    void List(Folder& folder, std::set<std::string>& names) {
        EntryList entries;
        fs_.ReadEntries(folder, entries);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            names.emplace(entries.name(i));
        }
    }

    void UndoFolder(std::size_t where, const std::vector<Step>& steps) {
        const std::string& prefix = PathNow(where);
        std::error_code openError;
        Folder* folder = Reach(where, openError);
        const std::size_t depth = open_.size();

        // A rename the journal has no outcome for may or may not have happened: it did when
        // the old name is gone. Where the old name is still there, there is nothing to undo.
        // An entry left under its temporary name (the run killed between the two steps of a
        // change of letter case, or both ways back refused) goes back from there.
        std::set<std::string> names;
        const bool anyUnknown =
            std::any_of(steps.begin(), steps.end(), [](const Step& step) { return !step.known; });
        bool listed = anyUnknown && folder;
        if (listed) {
            List(*folder, names);
        }
        // The first rename not made (the last such step here) is the one a kill may have cut
        // short after it claimed the new name with an empty placeholder.
        const Step* placeholder = nullptr;
        std::set<const Step*> doubled;  // under both names: the new one goes
        for (const Step& step : steps) {
            if (step.entry->Result == Outcome::Unknown &&
                names.count(std::string(step.oldName)) != 0) {
                placeholder = &step;
            }
        }
        std::vector<std::pair<const Step*, std::string>> todo;  // and the name it has now
        std::vector<PlannedRename> planned;
        for (const Step& step : steps) {
            std::string from = step.entry->NewName;
            const std::string oldName(step.oldName);
            if (!step.known && folder) {
                const std::string& temporary = step.entry->Temporary;
                // Under both names (a rename through a hard link stopped between its two
                // steps), the new one is taken away.
                if (names.count(oldName) != 0 && names.count(from) != 0 &&
                    SameEntry(*folder, from, oldName)) {
                    doubled.insert(&step);
                } else if (names.count(oldName) != 0) {
                    if (&step == placeholder) {
                        fs_.RemovePlaceholder(*folder, from);
                    }
                    continue;
                }
                if (!temporary.empty() && names.count(temporary) != 0) {
                    from = temporary;
                } else if (step.entry->Result == Outcome::Failed) {
                    continue;
                }
            } else if (step.entry->Result == Outcome::Failed) {
                continue;
            } else if (folder && AlreadyBack(*folder, from, oldName, names, listed)) {
                continue;
            }
            planned.push_back({prefix + from, oldName, step.entry->IsFolder});
            todo.emplace_back(&step, std::move(from));
        }
        if (todo.empty()) {
            return;
        }
        sink_.BeginRenames(planned);
        for (const auto& [step, newName] : todo) {
            if (Stopping()) {
                break;
            }
            const bool isFolder = step->entry->IsFolder;
            const std::string oldName(step->oldName);
            LogEntry row{prefix + newName, rkFailed, oldName, FailReason::None, {}};
            if (!folder) {
                row.Reason = FailReason::FolderUnreadable;
                row.Error = openError;
            } else if (const std::error_code error =
                           doubled.count(step) != 0 ? fs_.RemoveExtraName(*folder, newName, oldName)
                                                    : fs_.Rename(*folder, newName, oldName)) {
                row.Reason = ReasonOf(error);
                row.Error = error;
                if (isFolder && row.Reason == FailReason::TargetExists) {
                    if (const std::size_t inside = FolderOf(*step); inside != kNotThere) {
                        moved_[inside] = newName;
                        pathNowOf_ = kNotThere;  // it may lead to the one kept
                        notRenamed_.erase(inside);
                    }
                    open_.resize(std::min(open_.size(), depth));
                }
            } else {
                row.Kind = isFolder ? rkDirRenamed : rkFileRenamed;
                if (isFolder) {
                    // Folders opened below this one were reached by names that changed.
                    open_.resize(std::min(open_.size(), depth));
                    const std::size_t inside = FolderOf(*step);
                    if (dryRun_ && inside != kNotThere) {
                        notRenamed_[inside] = newName;
                    }
                }
                ++(isFolder ? counters_.DirCount : counters_.FileCount);
            }
            failed_ += row.Kind == rkFailed ? 1 : 0;
            sink_.Append(std::move(row));
        }
        sink_.EndRenames();
    }

    enum class Below : char { Unknown, Yes, No };

    FileSystem& fs_;
    RunSink& sink_;
    RunCounters& counters_;
    const StopRequest& stop_;
    bool dryRun_;
    const JournalFolders* folders_ = nullptr;
    ChosenFolder chosen_;           // the run's folder: the folder holding it and its name there
    std::string top_;               // the folder every entry is reached from, opened by its path
    std::size_t base_ = kNotThere;  // the run's folder in the journal
    // The run's folder itself as an entry: in the journal's folder chosenIn_, its name after
    // chosenHead_ (what follows the last delimiter of the folder holding it: nothing, unless a
    // Windows path puts a drive or a slash there).
    std::size_t chosenIn_ = kNotThere;
    std::string_view chosenHead_;
    bool undoes_ = false;       // the journal is an undo's
    std::vector<Below> below_;  // for each folder of the journal: inside the run's folder
    std::vector<std::size_t> scratch_;
    std::unique_ptr<Folder> topFolder_;
    std::error_code topError_;
    std::vector<std::pair<std::size_t, std::unique_ptr<Folder>>> open_;  // below top_
    std::map<std::size_t, std::string> moved_;  // folder -> the name it is still under
    std::size_t pathNowOf_ = kNotThere;         // the folder whose PathNow is kept
    std::string pathNow_;
    std::map<std::size_t, std::string> notRenamed_;  // dry run: folder -> the name on disk
    int failed_ = 0;
};

}  // namespace

UndoProblem UndoProblemOf(JournalProblem problem) {
    switch (problem) {
        case JournalProblem::None:
            return UndoProblem::None;
        case JournalProblem::Unreadable:
            return UndoProblem::Unreadable;
        case JournalProblem::Damaged:
            return UndoProblem::Damaged;
        case JournalProblem::OtherPlatform:
            break;
    }
    return UndoProblem::OtherPlatform;
}

int Undo(const Journal& journal, FileSystem& fileSystem, RunSink& sink, RunCounters& counters,
         bool dryRun) {
    const StopRequest never;
    return Undo(journal, fileSystem, sink, counters, never, dryRun);
}

int Undo(const Journal& journal, FileSystem& fileSystem, RunSink& sink, RunCounters& counters,
         const StopRequest& stop, bool dryRun) {
    return Undoer(fileSystem, sink, counters, stop, dryRun).Run(journal);
}

UndoOutcome UndoRun(JournalStore& store, const std::string& journalPath, FileSystem& fileSystem,
                    RunSink& sink, RunCounters& counters, const std::string& program, bool dryRun,
                    bool journaled) {
    const StopRequest never;
    return UndoRun(store, journalPath, fileSystem, sink, counters, never, program, dryRun,
                   journaled);
}

UndoOutcome UndoRun(JournalStore& store, const std::string& journalPath, FileSystem& fileSystem,
                    RunSink& sink, RunCounters& counters, const StopRequest& stop,
                    const std::string& program, bool dryRun, bool journaled) {
    UndoOutcome outcome;
    counters = RunCounters{};
    outcome.UndonePath = journalPath;
    if (outcome.UndonePath.empty()) {
        std::error_code error;
        const std::vector<JournalSummary> history = History(store, error);
        const JournalSummary* newest = NewestUndoable(history);
        if (newest == nullptr) {
            outcome.Problem = UndoProblem::NothingToUndo;
            outcome.Detail = error ? error.message() : std::string();
            return outcome;
        }
        outcome.UndonePath = newest->Path;
    }
    Journal journal;
    outcome.Problem = UndoProblemOf(ReadJournal(outcome.UndonePath, journal, outcome.Detail));
    if (outcome.Problem != UndoProblem::None) {
        return outcome;
    }
    outcome.JournalIncomplete = journal.Incomplete;
    outcome.IncompleteWhy = journal.IncompleteWhy;
    if (dryRun) {
        DryRunFileSystem dry(fileSystem);
        outcome.Failed = Undo(journal, dry, sink, counters, stop, true);
        return outcome;
    }
    if (!journaled) {
        outcome.Failed = Undo(journal, fileSystem, sink, counters, stop);
        return outcome;
    }
    JournalHeader header;
    header.Program = program;
    header.Options.Path = journal.Folder;
    header.Undoes = journal.Name;
    RunJournal own(store, sink, header);
    outcome.Failed = Undo(journal, fileSystem, own, counters, stop);
    own.Finish(counters);
    outcome.JournalPath = own.path();
    outcome.JournalError = own.error();
    return outcome;
}

}  // namespace tovana
