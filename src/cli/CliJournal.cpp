#include "cli/CliJournal.h"

#include <cstdio>

#include "journal/Escape.h"
#include "journal/Journal.h"

std::string ReasonText(const tovana::LogEntry& entry) {
    using tovana::FailReason;
    switch (entry.Reason) {
        case FailReason::TargetExists:
            return "an entry with the new name already exists";
        case FailReason::AccessDenied:
            return "permission denied";
        case FailReason::NameTooLong:
            return "the new name is too long";
        case FailReason::InUse:
            return "the entry is in use";
        case FailReason::NotFound:
            return "the entry is not there";
        case FailReason::InvalidName:
            return "the new name is not a valid name";
        case FailReason::FolderUnreadable:
            return "its folder cannot be opened" +
                   (entry.Error ? " (" + entry.Error.message() + ")" : std::string());
        case FailReason::WouldHide:
            return "the new name would hide the entry";
        case FailReason::None:
        case FailReason::Other:
            break;
    }
    return entry.Error ? entry.Error.message() : "the rename failed";
}

int PrintHistory(const tovana::JournalStore& store, bool null) {
    std::error_code error;
    const std::vector<tovana::JournalSummary> history = tovana::History(store, error);
    if (error) {
        std::fprintf(stderr, "tovana-cli: cannot read the journals in '%s': %s\n",
                     tovana::EscapeField(store.folder()).c_str(), error.message().c_str());
        return 1;
    }
    for (const tovana::JournalSummary& item : history) {
        const tovana::Journal& head = item.Head;
        const char* state = item.Problem != tovana::JournalProblem::None ? "damaged"
                            : item.PartlyUndone                          ? "partly-undone"
                            : item.Undone                                ? "undone"
                            : head.Incomplete                            ? "journal-incomplete"
                            : head.Stopped                               ? "stopped"
                            : head.Complete                              ? "done"
                                                                         : "interrupted";
        const std::string fields[] = {
            head.Started,
            head.Undoes.empty() ? "run" : "undo",
            state,
            std::to_string(head.Files),
            std::to_string(head.Dirs),
            std::to_string(head.Failed),
            head.Folder,
            item.Path,
        };
        std::string line;
        for (const std::string& field : fields) {
            if (null) {
                line += field;
                line += '\0';
            } else {
                if (!line.empty()) {
                    line += '\t';
                }
                tovana::AppendEscaped(line, field);
            }
        }
        if (!null) {
            line += '\n';
        }
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    return 0;
}

std::string UndoProblemText(const tovana::UndoOutcome& outcome) {
    const std::string journal = "journal '" + tovana::EscapeField(outcome.UndonePath) + "'";
    switch (outcome.Problem) {
        case tovana::UndoProblem::None:
            return {};
        case tovana::UndoProblem::NothingToUndo:
            return "nothing to undo: every journaled run has been undone" +
                   (outcome.Detail.empty() ? std::string() : " (" + outcome.Detail + ")");
        case tovana::UndoProblem::Unreadable:
            return "cannot read the " + journal + ": " + outcome.Detail;
        case tovana::UndoProblem::Damaged:
            return "the " + journal + " is damaged (" + outcome.Detail + "); nothing renamed";
        case tovana::UndoProblem::OtherPlatform:
            return "the " + journal + " was " + outcome.Detail +
                   "; its paths mean nothing here; nothing renamed";
    }
    return {};
}

void WarnJournalFailed(const std::string& path, const std::string& folder, std::error_code error,
                       bool runStopped) {
    if (runStopped) {
        std::fprintf(stderr,
                     "tovana-cli: cannot write the journal '%s' further: %s; the run was stopped "
                     "there, so that --undo can put back every rename it made\n",
                     tovana::EscapeField(path).c_str(), error.message().c_str());
        return;
    }
    std::fprintf(stderr,
                 "tovana-cli: warning: cannot write the journal %s'%s': %s; this run cannot be "
                 "undone with --undo\n",
                 path.empty() ? "in " : "",
                 tovana::EscapeField(path.empty() ? folder : path).c_str(),
                 error.message().c_str());
}
