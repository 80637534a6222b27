#include "form/RunSession.h"

#include <stdexcept>

#include "names/PathRules.h"

namespace tovana {
namespace {

// What takes no input while an operation is under way: everything the user could change or
// start with. The cancel button stays, to ask whether to stop, and the list, to watch its rows.
constexpr Control kControlsLocked[] = {
    Control::ePath,      Control::Button1,    Control::cSubDir,       Control::eMask,
    Control::cRenDir,    Control::cReplSpace, Control::cNonAlphaNum,  Control::cRemUndr,
    Control::cReplUndr,  Control::cRemSpace,  Control::rNoChangeName, Control::rUpperName,
    Control::rLowerName, Control::bOK,
};

std::string ProgressText(OperationKind kind, const RunUpdate& update) {
    const std::string counts = std::to_string(update.filesRenamed) + " souborů, " +
                               std::to_string(update.foldersRenamed) + " adresářů";
    switch (kind) {
        case OperationKind::Run:
            break;
        case OperationKind::Preview:
            return "  \u2013 náhled: " + counts;
        case OperationKind::Undo:
            return "  \u2013 vráceno zpět " + counts;
    }
    return "  \u2013 přejmenováno " + counts;
}

}  // namespace

std::string StopQuestion(OperationKind kind) {
    switch (kind) {
        case OperationKind::Run:
            break;
        case OperationKind::Preview:
            return "Přerušit náhled?";
        case OperationKind::Undo:
            return "Přerušit vracení zpět?";
    }
    return "Přerušit přejmenování?";
}

RunSession::~RunSession() {
    worker_.reset();  // stops the operation and waits for its thread
}

void RunSession::Start(OperationKind kind, const std::string& chosenFolder, Body body,
                       OnEnd onEnd) {
    if (Busy()) {
        throw std::logic_error("an operation is already under way");
    }
    kind_ = kind;
    // The run reports the folder by its stored name, also where it was typed as a short one.
    chosenFolder_ = WithStoredLastName(chosenFolder);
    failed_ = 0;
    chosenFolderNow_.reset();
    listError_ = nullptr;
    takeAfterQuestion_ = false;
    EnterBusyState();
    std::weak_ptr<RunSession*> self = self_;
    FormView& view = view_;
    try {
        worker_ = std::make_unique<BackgroundRun>(std::move(body), [self, &view] {
            view.PostToUi([self] {
                if (const std::shared_ptr<RunSession*> session = self.lock()) {
                    (*session)->TakeUpdate();
                }
            });
        });
    } catch (...) {  // no thread for it
        LeaveBusyState();
        throw;
    }
    onEnd_ = std::move(onEnd);
}

void RunSession::EnterBusyState() {
    captionBefore_ = view_.Caption();
    focusBefore_ = view_.Focus();
    // The focus moves first: a control greyed out with the focus would leave the window with
    // none, and Esc with nowhere to go.
    view_.SetFocus(Control::bCancel);
    enabledBefore_.clear();
    for (const Control control : kControlsLocked) {
        enabledBefore_.push_back(view_.Enabled(control));
        view_.SetEnabled(control, false);
    }
    view_.SetBusy(true);
}

// Each control as it was before, the boxes that rule out one another included.
void RunSession::LeaveBusyState() {
    view_.SetBusy(false);
    for (std::size_t i = 0; i < enabledBefore_.size(); ++i) {
        view_.SetEnabled(kControlsLocked[i], enabledBefore_[i]);
    }
    enabledBefore_.clear();
    view_.SetCaption(captionBefore_);
    if (focusBefore_ && view_.Enabled(*focusBefore_)) {
        view_.SetFocus(*focusBefore_);
    }
}

void RunSession::TakeRows(RunUpdate& update) {
    const bool preview = kind_ == OperationKind::Preview;
    for (LogEntry& entry : update.rows) {
        if (entry.Kind == rkFailed) {
            ++failed_;
        } else if (kind_ == OperationKind::Run && entry.Kind == rkDirRenamed &&
                   SamePath(entry.Path, chosenFolder_)) {
            chosenFolderNow_ = ParentPrefix(entry.Path) + entry.NewName;
        }
        if (listError_ == nullptr && !view_.AppendRow(std::move(entry), preview)) {
            listError_ = std::make_exception_ptr(std::runtime_error("Unable to insert a line"));
            worker_->RequestStop();
        }
    }
    view_.RowsAppended();
}

void RunSession::TakeUpdate() {
    if (!Busy()) {
        return;
    }
    if (asking_) {
        // The question's own loop delivers this; the rows wait, and no summary opens over the
        // question. Taken as soon as it is answered.
        takeAfterQuestion_ = true;
        return;
    }
    RunUpdate update = worker_->Take();
    TakeRows(update);
    if (!update.finished) {
        view_.SetCaption(captionBefore_ + ProgressText(kind_, update));
        return;
    }
    End(update, false);
}

void RunSession::End(RunUpdate& update, bool quiet) {
    worker_->Wait();
    worker_.reset();
    LeaveBusyState();
    OperationEnd end;
    end.kind = kind_;
    end.counters = update.counters;
    end.error = listError_ != nullptr ? listError_ : update.error;
    end.failed = failed_;
    end.chosenFolderNow = chosenFolderNow_;
    end.quiet = quiet;
    const OnEnd onEnd = std::move(onEnd_);
    onEnd_ = nullptr;
    if (onEnd) {
        onEnd(end);  // may start the next operation
    }
}

void RunSession::AskToStop(const std::string& title) {
    if (!Busy() || asking_) {
        return;
    }
    asking_ = true;
    worker_->Pause();
    const BoxAnswer answer =
        view_.ShowBox({title, StopQuestion(kind_), BoxIcon::None, BoxButtons::YesNo});
    asking_ = false;
    if (!Busy()) {
        return;  // the desktop session ended it meanwhile
    }
    if (answer == BoxAnswer::Yes) {
        worker_->RequestStop();
    }
    worker_->Resume();
    if (takeAfterQuestion_) {
        takeAfterQuestion_ = false;
        TakeUpdate();
    }
}

void RunSession::StopAndWait() {
    if (!Busy()) {
        return;
    }
    worker_->RequestStop();
    worker_->Resume();
    worker_->Wait();
    RunUpdate update = worker_->Take();
    TakeRows(update);
    End(update, true);
}

}  // namespace tovana
