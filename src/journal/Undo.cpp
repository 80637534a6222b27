#include "journal/Undo.h"

#include <algorithm>
#include <memory>
#include <set>

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
// stand for a folder itself or its parent.
bool PlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find(kFolderDelimiter) == std::string::npos && name.find('/') == std::string::npos;
}

struct Step {
    const JournalEntry* entry;
    std::string prefix;   // the folder holding the entry, as it is named now
    std::string oldName;  // the name to give back
    bool known;           // the journal says the rename happened
};

// Every entry is reached the way the run reached it: from the folder that holds the run's
// folder, opened once by its path, then one name at a time through open folders, never through
// a link. A journal line naming anything outside the run's folder is refused.
class Undoer {
  public:
    Undoer(FileSystem& fileSystem, RunSink& sink, RunCounters& counters, const StopRequest& stop,
           bool dryRun)
        : fs_(fileSystem), sink_(sink), counters_(counters), stop_(stop), dryRun_(dryRun) {}

    int Run(const Journal& journal) {
        counters_ = RunCounters{};
        chosen_ = SplitChosenFolder(journal.Folder);
        base_ = FolderPrefix(journal.Folder);
        top_ = chosen_.name.empty() ? base_ : chosen_.prefix;
        undoes_ = !journal.Undoes.empty();
        std::vector<const JournalEntry*> order;
        for (auto it = journal.Order.rbegin(); it != journal.Order.rend(); ++it) {
            const JournalEntry& entry = journal.Entries[*it];
            if (entry.Result != Outcome::Failed || !entry.Temporary.empty()) {
                order.push_back(&entry);
            }
        }
        // One batch per run of entries in the same folder, as a run has one per folder.
        for (std::size_t first = 0; first < order.size() && !Stopping();) {
            if (!Inside(*order[first])) {
                Refuse(*order[first]);
                ++first;
                continue;
            }
            std::vector<Step> steps;
            for (std::size_t i = first; i < order.size() && Inside(*order[i]); ++i) {
                Step step = StepFor(*order[i]);
                if (!steps.empty() && step.prefix != steps.front().prefix) {
                    break;
                }
                steps.push_back(std::move(step));
            }
            first += steps.size();
            UndoFolder(steps);
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

    // Whether the line names the run's folder itself or an entry inside it, by plain names.
    bool Inside(const JournalEntry& entry) const {
        if (!PlainName(entry.NewName) ||
            (!entry.Temporary.empty() && !PlainName(entry.Temporary))) {
            return false;
        }
        if (!chosen_.name.empty() && entry.Path.starts_with(chosen_.prefix)) {
            // The run's folder itself; in an undo's journal, under the name the run gave it,
            // getting back the one the journal names.
            const std::string name = entry.Path.substr(chosen_.prefix.size());
            if (name == chosen_.name ||
                (undoes_ && entry.IsFolder && entry.NewName == chosen_.name && PlainName(name))) {
                return true;
            }
        }
        if (!entry.Path.starts_with(base_) || entry.Path.size() == base_.size()) {
            return false;
        }
        for (std::size_t at = base_.size(); at <= entry.Path.size();) {
            const std::size_t end =
                std::min(entry.Path.find(kFolderDelimiter, at), entry.Path.size());
            if (!PlainName(entry.Path.substr(at, end - at))) {
                return false;
            }
            at = end + 1;
        }
        return true;
    }

    void Refuse(const JournalEntry& entry) {
        sink_.BeginRenames({{entry.Path, entry.NewName, entry.IsFolder}});
        LogEntry row{entry.Path, rkFailed, entry.NewName, FailReason::Other,
                     MakeErrorCode(UndoRefusal::OutsideFolder)};
        ++failed_;
        sink_.Append(std::move(row));
        sink_.EndRenames();
    }

    Step StepFor(const JournalEntry& entry) const {
        const ChosenFolder split = SplitChosenFolder(entry.Path);
        return {&entry, WhereNow(split.prefix), split.name, entry.Result == Outcome::Done};
    }

    // A folder that could not get its old name back is still under its new one; the entries
    // inside it are put back there.
    std::string WhereNow(const std::string& prefix) const { return Mapped(moved_, prefix); }

    static std::string Mapped(const std::vector<std::pair<std::string, std::string>>& map,
                              const std::string& prefix) {
        const std::pair<std::string, std::string>* best = nullptr;
        for (const auto& moved : map) {
            if (prefix.starts_with(moved.first) &&
                (best == nullptr || moved.first.size() > best->first.size())) {
                best = &moved;
            }
        }
        return best == nullptr ? prefix : best->second + prefix.substr(best->first.size());
    }

    // The folder at `prefix` (a folder inside the run's folder, or the one holding it),
    // reached from the top one name at a time. Folders opened for the previous batch are
    // kept while the names leading to them are the same.
    Folder* Reach(const std::string& prefix, std::error_code& error) {
        if (!topFolder_ && !topError_) {
            topFolder_ = fs_.OpenFolder(top_.empty() ? "." : top_, topError_);
        }
        if (!topFolder_) {
            error = topError_;
            return nullptr;
        }
        std::vector<std::string> names;
        for (std::size_t at = top_.size(); at < prefix.size();) {
            const std::size_t end = prefix.find(kFolderDelimiter, at);
            names.push_back(prefix.substr(at, end - at));
            at = end + 1;
        }
        std::size_t kept = 0;
        while (kept < open_.size() && kept < names.size() && open_[kept].first == names[kept]) {
            ++kept;
        }
        open_.resize(kept);
        for (std::size_t i = kept; i < names.size(); ++i) {
            Folder& parent = i == 0 ? *topFolder_ : *open_[i - 1].second;
            // The run's folder itself is opened as the run opened it, by its name in the folder
            // holding it (a link there is followed: the user named it); below it, no link is.
            std::unique_ptr<Folder> folder = i == 0 && !chosen_.name.empty()
                                                 ? fs_.OpenChosenFolder(parent, names[i], error)
                                                 : fs_.OpenSubfolder(parent, names[i], error);
            if (!folder) {
                return nullptr;
            }
            open_.emplace_back(names[i], std::move(folder));
        }
        return names.empty() ? topFolder_.get() : open_.back().second.get();
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

    void UndoFolder(const std::vector<Step>& steps) {
        const std::string& prefix = steps.front().prefix;
        std::error_code openError;
        // A dry run leaves the folders it would have put back under their new names.
        const std::string onDisk = Mapped(notRenamed_, prefix);
        Folder* folder = Reach(onDisk, openError);
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
            if (step.entry->Result == Outcome::Unknown && names.count(step.oldName) != 0) {
                placeholder = &step;
            }
        }
        std::vector<std::pair<const Step*, std::string>> todo;  // and the name it has now
        std::vector<PlannedRename> planned;
        for (const Step& step : steps) {
            std::string from = step.entry->NewName;
            if (!step.known && folder) {
                const std::string& temporary = step.entry->Temporary;
                // Under both names (a rename through a hard link stopped between its two
                // steps), the new one is taken away.
                if (names.count(step.oldName) != 0 && names.count(from) != 0 &&
                    SameEntry(*folder, from, step.oldName)) {
                    doubled.insert(&step);
                } else if (names.count(step.oldName) != 0) {
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
            } else if (folder && AlreadyBack(*folder, from, step.oldName, names, listed)) {
                continue;
            }
            planned.push_back({prefix + from, step.oldName, step.entry->IsFolder});
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
            LogEntry row{prefix + newName, rkFailed, step->oldName, FailReason::None, {}};
            if (!folder) {
                row.Reason = FailReason::FolderUnreadable;
                row.Error = openError;
            } else if (const std::error_code error =
                           doubled.count(step) != 0
                               ? fs_.RemoveExtraName(*folder, newName, step->oldName)
                               : fs_.Rename(*folder, newName, step->oldName)) {
                row.Reason = ReasonOf(error);
                row.Error = error;
                if (isFolder && row.Reason == FailReason::TargetExists) {
                    moved_.emplace_back(prefix + step->oldName + kFolderDelimiter,
                                        prefix + newName + kFolderDelimiter);
                }
            } else {
                row.Kind = isFolder ? rkDirRenamed : rkFileRenamed;
                if (isFolder) {
                    // Folders opened below this one were reached by names that changed.
                    open_.resize(std::min(open_.size(), depth));
                    if (dryRun_) {
                        notRenamed_.emplace_back(prefix + step->oldName + kFolderDelimiter,
                                                 onDisk + newName + kFolderDelimiter);
                    }
                }
                ++(isFolder ? counters_.DirCount : counters_.FileCount);
            }
            failed_ += row.Kind == rkFailed ? 1 : 0;
            sink_.Append(std::move(row));
        }
        sink_.EndRenames();
    }

    FileSystem& fs_;
    RunSink& sink_;
    RunCounters& counters_;
    const StopRequest& stop_;
    bool dryRun_;
    ChosenFolder chosen_;  // the run's folder: the folder holding it and its name there
    std::string base_;     // the run's folder as the prefix of its entries
    std::string top_;      // the folder every entry is reached from, opened by its path
    bool undoes_ = false;  // the journal is an undo's
    std::unique_ptr<Folder> topFolder_;
    std::error_code topError_;
    std::vector<std::pair<std::string, std::unique_ptr<Folder>>> open_;  // below top_, by name
    std::vector<std::pair<std::string, std::string>> moved_;       // old folder prefix -> current
    std::vector<std::pair<std::string, std::string>> notRenamed_;  // dry run: prefix -> on disk
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
