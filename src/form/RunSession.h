// The one operation on the file system the window has under way: a run, a preview or an undo.
//
//   Form handler -> RunSession::Start(kind, body, onEnd) -> worker thread (BackgroundRun)
//   worker: body(sink, counters, stop) -> rows in batches -> posted to the window's thread
//   window: TakeUpdate -> rows into the list, progress in the caption -> at the end onEnd(end)
//
// While an operation is under way the session is busy and the form refuses every other command,
// whichever view it comes through: the controls are greyed out, the cancel button has the focus,
// and Esc, the cancel button and the close button ask whether to stop. While that question is
// open the operation waits before its next rename. Nothing of this state belongs to a view: the
// view only shows the hourglass it is told to.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "form/BackgroundRun.h"
#include "form/FormView.h"

namespace tovana {

enum class OperationKind { Run, Preview, Undo };

// How an operation ended, for the form's words about it.
struct OperationEnd {
    OperationKind kind = OperationKind::Run;
    RunCounters counters;
    std::exception_ptr error;  // what ended it early: the worker's error, or the list's
    int failed = 0;            // rows of failed attempts
    // A run that renamed the chosen folder itself: the folder's path now.
    std::optional<std::string> chosenFolderNow;
    bool quiet = false;  // the desktop session is ending: no boxes
};

class RunSession {
  public:
    using Body = BackgroundRun::Body;
    using OnEnd = std::function<void(const OperationEnd&)>;

    explicit RunSession(FormView& view) : view_(view) {}
    // Stops an operation still under way and waits for it (no boxes, no onEnd).
    ~RunSession();
    RunSession(const RunSession&) = delete;
    RunSession& operator=(const RunSession&) = delete;

    bool Busy() const { return worker_ != nullptr; }
    std::optional<OperationKind> Kind() const {
        return Busy() ? std::optional<OperationKind>(kind_) : std::nullopt;
    }

    // Window's thread, only while not busy. `chosenFolder` is the folder the operation works in
    // (its own rename is noticed); `onEnd` runs on the window's thread once the operation has
    // ended and the window is as it was before. Throws, the window unchanged, when no thread
    // can be started.
    void Start(OperationKind kind, const std::string& chosenFolder, Body body, OnEnd onEnd);
    // Posted from the worker: the rows gathered since the last take, the progress, the end.
    void TakeUpdate();
    // Esc, the cancel or the close button: asks whether to stop, the operation waiting
    // meanwhile; Yes stops it after the rename under way, No lets it go on.
    void AskToStop(const std::string& title);
    // The desktop session ends: stops the operation, waits for it and takes its rows; onEnd
    // then comes with `quiet` set.
    void StopAndWait();

  private:
    void EnterBusyState();
    void LeaveBusyState();
    void TakeRows(RunUpdate& update);
    void End(RunUpdate& update, bool quiet);

    FormView& view_;
    OperationKind kind_ = OperationKind::Run;
    std::unique_ptr<BackgroundRun> worker_;
    OnEnd onEnd_;
    std::string chosenFolder_;
    std::string captionBefore_;
    std::vector<bool> enabledBefore_;  // of the controls locked, in their order
    std::optional<Control> focusBefore_;
    int failed_ = 0;
    std::optional<std::string> chosenFolderNow_;
    std::exception_ptr listError_;  // the list refused a row: the operation is stopped
    bool asking_ = false;           // the question whether to stop is open
    bool takeAfterQuestion_ = false;
    // Lets a call posted to the window's thread see that the session is gone.
    std::shared_ptr<RunSession*> self_ = std::make_shared<RunSession*>(this);
};

// The question whether to stop an operation of `kind`.
std::string StopQuestion(OperationKind kind);

}  // namespace tovana
