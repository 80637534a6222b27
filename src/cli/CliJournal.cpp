#include "cli/CliJournal.h"

#include <cstdio>

#include "cli/CliText.h"
#include "journal/Escape.h"
#include "journal/Journal.h"

std::string ReasonText(const tovana::LogEntry& entry) {
    using tovana::FailReason;
    switch (entry.Reason) {
        case FailReason::TargetExists:
            return _("an entry with the new name already exists");
        case FailReason::AccessDenied:
            return _("permission denied");
        case FailReason::NameTooLong:
            return _("the new name is too long");
        case FailReason::InUse:
            return _("the entry is in use");
        case FailReason::NotFound:
            return _("the entry is not there");
        case FailReason::InvalidName:
            return _("the new name is not a valid name");
        case FailReason::FolderUnreadable:
            return _("its folder cannot be opened") +
                   (entry.Error ? " (" + entry.Error.message() + ")" : std::string());
        case FailReason::WouldHide:
            return _("the new name would hide the entry");
        case FailReason::None:
        case FailReason::Other:
            break;
    }
    return entry.Error ? entry.Error.message() : _("the rename failed");
}

int PrintHistory(const tovana::JournalStore& store, bool null, tovana::TimeForm form) {
    std::error_code error;
    const std::vector<tovana::JournalSummary> history = tovana::History(store, error);
    if (error) {
        const std::string text = "tovana-cli: " +
                                 Format(_("cannot read the journals in '%1': %2"),
                                        {tovana::ShownField(store.folder()), error.message()}) +
                                 "\n";
        std::fputs(text.c_str(), stderr);
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
            null ? head.Started : tovana::LocalTimeText(head.Started, form),
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
                tovana::AppendShown(line, field);
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
    const std::string journal = tovana::ShownField(outcome.UndonePath);
    switch (outcome.Problem) {
        case tovana::UndoProblem::None:
            return {};
        case tovana::UndoProblem::NothingToUndo:
            return _("nothing to undo: every journaled run has been undone") +
                   (outcome.Detail.empty() ? std::string() : " (" + outcome.Detail + ")");
        case tovana::UndoProblem::Unreadable:
            return Format(_("cannot read the journal '%1': %2"), {journal, outcome.Detail});
        case tovana::UndoProblem::Damaged:
            return Format(_("the journal '%1' is damaged (%2); nothing renamed"),
                          {journal, outcome.Detail});
        case tovana::UndoProblem::OtherPlatform:
            return Format(_("the journal '%1' was %2; its paths mean nothing here; nothing "
                            "renamed"),
                          {journal, outcome.Detail});
    }
    return {};
}

void WarnJournalFailed(const std::string& path, const std::string& folder, std::error_code error,
                       bool runStopped) {
    std::string text;
    if (runStopped) {
        text = Format(_("cannot write the journal '%1' further: %2; the run was stopped there, so "
                        "that --undo can put back every rename it made"),
                      {tovana::ShownField(path), error.message()});
    } else {
        text = Format(path.empty() ? _("warning: cannot write the journal in '%1': %2; this run "
                                       "cannot be undone with --undo")
                                   : _("warning: cannot write the journal '%1': %2; this run "
                                       "cannot be undone with --undo"),
                      {tovana::ShownField(path.empty() ? folder : path), error.message()});
    }
    text = "tovana-cli: " + text + "\n";
    std::fputs(text.c_str(), stderr);
}
