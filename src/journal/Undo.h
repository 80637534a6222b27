// Undo: puts back what a journaled run renamed.
//
// Journal -> reverse order -> FileSystem renames (never replacing anything) -> RunSink rows
//
// The renames are taken back in the reverse of the order they happened, so a folder gets its
// old name back before the entries inside it, whose recorded paths hold that old name. Each
// entry is renamed from its new name back to its old one only where the new name is still
// there and the old one is free; the rest is reported as failed rows with their reasons.
#pragma once

#include <string>
#include <system_error>

#include "journal/Journal.h"
#include "rename/FileSystem.h"
#include "rename/RenameRun.h"

namespace tovana {

// Puts back the renames of `journal` through `fileSystem`, reporting each attempt to `sink`
// as a run does (old path = where the entry is now, new name = the name it gets back).
// Returns the number of entries that could not be put back. `dryRun` says that `fileSystem`
// only pretends to rename, so folders stay under their new names on disk.
int Undo(const Journal& journal, FileSystem& fileSystem, RunSink& sink, RunCounters& counters,
         bool dryRun = false);

// The same, ending early once `stop` is requested, as a run does: the rename under way
// completes, no other starts, and `counters.Stopped` says the undo did not get to the end. A
// later undo of the same journal goes on from there.
int Undo(const Journal& journal, FileSystem& fileSystem, RunSink& sink, RunCounters& counters,
         const StopRequest& stop, bool dryRun = false);

enum class UndoProblem {
    None,
    NothingToUndo,  // no journal, or every run has been undone
    Unreadable,     // the journal cannot be read
    Damaged,        // not a journal, or a damaged one
    OtherPlatform,  // a journal written on the other platform
};

// Why a journal that ReadJournal could not use cannot be undone.
UndoProblem UndoProblemOf(JournalProblem problem);

struct UndoOutcome {
    UndoProblem Problem = UndoProblem::None;
    std::string Detail;            // what is wrong with the journal, for the message
    std::string UndonePath;        // the journal that was undone
    std::string JournalPath;       // the undo's own journal; empty for a dry run or when none
    std::error_code JournalError;  // the undo's own journal could not be written
    int Failed = 0;                // entries that could not be put back
    // The undone journal could not be written whole (disk full): what it names was put back,
    // but the run may have renamed more.
    bool JournalIncomplete = false;
    std::string IncompleteWhy;  // the error that stopped the journal
};

// The whole of an undo as a front end asks for it: reads the journal at `journalPath` (the
// newest run not undone yet when it is empty), puts its renames back and, unless `dryRun`
// is set (or `journaled` is not), journals the undo itself in `store`, so that it can be undone
// in turn. With `dryRun`
// nothing is renamed (the renames are checked against the real `fileSystem`'s names), nor
// when the journal cannot be used.
UndoOutcome UndoRun(JournalStore& store, const std::string& journalPath, FileSystem& fileSystem,
                    RunSink& sink, RunCounters& counters, const std::string& program, bool dryRun,
                    bool journaled = true);

// The same, ending early once `stop` is requested (see Undo). The undo's own journal then
// says it stopped, and the run stays the one the next undo goes on with.
UndoOutcome UndoRun(JournalStore& store, const std::string& journalPath, FileSystem& fileSystem,
                    RunSink& sink, RunCounters& counters, const StopRequest& stop,
                    const std::string& program, bool dryRun, bool journaled = true);

}  // namespace tovana
