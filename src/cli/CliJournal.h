// What tovana-cli says about journals, undo and failure reasons.
#pragma once

#include <string>

#include "journal/JournalStore.h"
#include "journal/Undo.h"
#include "rename/RenameRun.h"

// Why a rename failed, in a few English words.
std::string ReasonText(const tovana::LogEntry& entry);

// --history: one line per journal, oldest first. Returns the exit status.
int PrintHistory(const tovana::JournalStore& store, bool null);

// The message for an undo that could not start; empty when it could.
std::string UndoProblemText(const tovana::UndoOutcome& outcome);

// Said once when the journal could not be written: created not at all (the run goes on and
// cannot be undone), or written only in part (`runStopped`: the run stopped there).
void WarnJournalFailed(const std::string& path, const std::string& folder, std::error_code error,
                       bool runStopped = false);
