#include "journal/Undo.h"

#include <algorithm>
#include <memory>
#include <set>

#include "names/PathRules.h"
#include "rename/DryRunFileSystem.h"

namespace tovana {
namespace {

struct Step {
    const JournalEntry* entry;
    std::string prefix;   // the folder holding the entry, as it is named now
    std::string oldName;  // the name to give back
    bool known;           // the journal says the rename happened
};

class Undoer {
  public:
    Undoer(FileSystem& fileSystem, RunSink& sink, RunCounters& counters, bool dryRun,
           const StopRequest& stop)
        : fs_(fileSystem), sink_(sink), counters_(counters), dryRun_(dryRun), stop_(stop) {}

    int Run(const Journal& journal) {
        counters_ = RunCounters{};
        std::vector<const JournalEntry*> order;
        for (auto it = journal.Order.rbegin(); it != journal.Order.rend(); ++it) {
            const JournalEntry& entry = journal.Entries[*it];
            if (entry.Result != Outcome::Failed || !entry.Temporary.empty()) {
                order.push_back(&entry);
            }
        }
        // One batch per run of entries in the same folder, as a run has one per folder.
        for (std::size_t first = 0; first < order.size() && !Stopping();) {
            std::vector<Step> steps;
            for (std::size_t i = first; i < order.size(); ++i) {
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

    void UndoFolder(const std::vector<Step>& steps) {
        const std::string& prefix = steps.front().prefix;
        std::error_code openError;
        // A dry run leaves the folders it would have put back under their new names.
        const std::string onDisk = Mapped(notRenamed_, prefix);
        std::unique_ptr<Folder> folder = fs_.OpenFolder(onDisk.empty() ? "." : onDisk, openError);

        // A rename the journal has no outcome for may or may not have happened: it did when
        // the old name is gone. Where the old name is still there, there is nothing to undo.
        // An entry left under its temporary name (the run killed between the two steps of a
        // change of letter case, or both ways back refused) goes back from there.
        std::set<std::string> names;
        const bool anyUnknown =
            std::any_of(steps.begin(), steps.end(), [](const Step& step) { return !step.known; });
        if (anyUnknown && folder) {
            EntryList entries;
            fs_.ReadEntries(*folder, entries);
            for (std::size_t i = 0; i < entries.size(); ++i) {
                names.emplace(entries.name(i));
            }
        }
        std::vector<std::pair<const Step*, std::string>> todo;  // and the name it has now
        std::vector<PlannedRename> planned;
        for (const Step& step : steps) {
            std::string from = step.entry->NewName;
            if (!step.known && folder) {
                const std::string& temporary = step.entry->Temporary;
                if (names.count(step.oldName) != 0) {
                    continue;
                }
                if (!temporary.empty() && names.count(temporary) != 0) {
                    from = temporary;
                } else if (step.entry->Result == Outcome::Failed) {
                    continue;
                }
            } else if (step.entry->Result == Outcome::Failed) {
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
            } else if (const std::error_code error = fs_.Rename(*folder, newName, step->oldName)) {
                row.Reason = ReasonOf(error);
                row.Error = error;
                if (isFolder && row.Reason == FailReason::TargetExists) {
                    moved_.emplace_back(prefix + step->oldName + kFolderDelimiter,
                                        prefix + newName + kFolderDelimiter);
                }
            } else {
                row.Kind = isFolder ? rkDirRenamed : rkFileRenamed;
                if (isFolder && dryRun_) {
                    notRenamed_.emplace_back(prefix + step->oldName + kFolderDelimiter,
                                             onDisk + newName + kFolderDelimiter);
                }
                ++(isFolder ? counters_.DirCount : counters_.FileCount);
            }
            failed_ += row.Kind == rkFailed ? 1 : 0;
            sink_.Append(std::move(row));
        }
        sink_.EndRenames();
    }

    // As a run: the rename under way completes, none follows the request.
    bool Stopping() {
        if (stop_.Stopping()) {
            counters_.Stopped = true;
        }
        return counters_.Stopped;
    }

    FileSystem& fs_;
    RunSink& sink_;
    RunCounters& counters_;
    bool dryRun_;
    const StopRequest& stop_;
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
         bool dryRun, const StopRequest& stop) {
    return Undoer(fileSystem, sink, counters, dryRun, stop).Run(journal);
}

UndoOutcome UndoRun(JournalStore& store, const std::string& journalPath, FileSystem& fileSystem,
                    RunSink& sink, RunCounters& counters, const std::string& program, bool dryRun,
                    bool journaled, const StopRequest& stop) {
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
    if (dryRun) {
        DryRunFileSystem dry(fileSystem);
        outcome.Failed = Undo(journal, dry, sink, counters, true, stop);
        return outcome;
    }
    if (!journaled) {
        outcome.Failed = Undo(journal, fileSystem, sink, counters, false, stop);
        return outcome;
    }
    JournalHeader header;
    header.Program = program;
    header.Options.Path = journal.Folder;
    header.Undoes = journal.Name;
    RunJournal own(store, sink, header);
    outcome.Failed = Undo(journal, fileSystem, own, counters, false, stop);
    own.Finish(counters);
    outcome.JournalPath = own.path();
    outcome.JournalError = own.error();
    return outcome;
}

}  // namespace tovana
