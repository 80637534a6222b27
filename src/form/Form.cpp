#include "form/Form.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "journal/Journal.h"
#include "journal/JournalStore.h"
#include "journal/Undo.h"
#include "names/LegacyText.h"
#include "names/NameText.h"
#include "names/PathRules.h"
#include "rename/DryRunFileSystem.h"
#include "rename/FailReason.h"

namespace tovana {
namespace {

Control ControlOf(Setting setting) {
    switch (setting) {
        case Setting::Path:
            return Control::ePath;
        case Setting::Masks:
            return Control::eMask;
        case Setting::SubDir:
            return Control::cSubDir;
        case Setting::RenameDir:
            return Control::cRenDir;
        case Setting::ReplaceSpace:
            return Control::cReplSpace;
        case Setting::RemoveSpace:
            return Control::cRemSpace;
        case Setting::ReplaceUnderline:
            return Control::cReplUndr;
        case Setting::RemoveUnderline:
            return Control::cRemUndr;
        case Setting::ToUpperCase:
            return Control::rUpperName;
        case Setting::ToLowerCase:
            return Control::rLowerName;
        case Setting::NonAlphaNum:
            return Control::cNonAlphaNum;
    }
    return Control::ePath;
}

// Appends each attempt to the window's result list.
class ListSink : public RunSink {
  public:
    explicit ListSink(FormView& view, bool preview = false) : view_(view), preview_(preview) {}
    void Append(LogEntry entry) override {
        if (!view_.AppendRow(std::move(entry), preview_)) {
            throw std::runtime_error("Unable to insert a line");
        }
    }

  private:
    FormView& view_;
    bool preview_;
};

// What takes no input while a run goes on: everything the user could change or start with.
// The cancel button stays, to ask whether to stop the run, and the list, to watch its rows.
constexpr Control kControlsLockedDuringRun[] = {
    Control::ePath,      Control::Button1,    Control::cSubDir,       Control::eMask,
    Control::cRenDir,    Control::cReplSpace, Control::cNonAlphaNum,  Control::cRemUndr,
    Control::cReplUndr,  Control::cRemSpace,  Control::rNoChangeName, Control::rUpperName,
    Control::rLowerName, Control::bOK,
};

// The hourglass for as long as it lives, whatever ends the run.
class Busy {
  public:
    explicit Busy(FormView& view) : view_(view) { view_.SetBusy(true); }
    ~Busy() {
        view_.RowsAppended();  // a list holding rows back shows them now
        view_.SetBusy(false);
    }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

  private:
    FormView& view_;
};

bool IsSeparator(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

// The path without the separators at its end, except for a root's own.
std::string Trimmed(std::string path) {
    while (path.size() > 1 && IsSeparator(path.back())) {
#ifdef _WIN32
        if (path.size() == 3 && path[1] == ':') {
            break;
        }
#endif
        path.pop_back();
    }
    return path;
}

bool SamePath(const std::string& a, const std::string& b) {
#ifdef _WIN32
    const NameChars x = DecodeName(Trimmed(a));
    const NameChars y = DecodeName(Trimmed(b));
    if (x.size() != y.size()) {
        return false;
    }
    for (std::size_t i = 0; i < x.size(); ++i) {
        const bool bothSeparators = (x[i] == '\\' || x[i] == '/') && (y[i] == '\\' || y[i] == '/');
        if (!bothSeparators && LowerChar(x[i]) != LowerChar(y[i])) {
            return false;
        }
    }
    return true;
#else
    return Trimmed(a) == Trimmed(b);
#endif
}

// A path as the window shows it: names that are not UTF-8 read as the window's runs read them.
std::string Shown(const std::string& path) {
    return ReadablePath(path, ReadingFor(RenameOptions{}.Legacy));
}

std::string Quoted(const std::string& folder) {
    return "\u201e" + Shown(folder) + "\u201c";
}

}  // namespace

Form::Form(FormView& view, FormServices services) : view_(view), services_(std::move(services)) {}

Form::~Form() {
    run_.reset();  // stops the run and waits for its thread, which uses this form's members
}

bool Form::Guarded(const std::function<void()>& handler) {
    try {
        handler();
        return true;
    } catch (const std::exception& error) {
        view_.ShowBox({services_.applicationTitle, ErrorBoxText(error.what()), BoxIcon::Stop});
    }
    return false;
}

void Form::FormCreate() {
    view_.SetCaption(view_.Caption() + "  " + services_.version);
    Guarded([this] {
        if (services_.settings != nullptr) {
            LoadSettings(*services_.settings, *this);
        }
    });
}

void Form::ePathChange() {
    const std::string text = view_.Text(Control::ePath);
    if (!heldPath_.empty() && text != heldPathShown_) {
        heldPath_.clear();  // the user's own text from now on, even should it come back
        heldPathShown_.clear();
    }
    view_.SetEnabled(Control::bOK, !text.empty());
}

void Form::ShowPath(const std::string& path) {
    if (IsValidUtf8(path)) {
        heldPath_.clear();
        heldPathShown_.clear();
        view_.SetText(Control::ePath, path);
        return;
    }
    // Kept before the field changes: the change handler sees the text that stands for them.
    heldPath_ = path;
    heldPathShown_ = Shown(path);
    view_.SetText(Control::ePath, heldPathShown_);
}

std::string Form::PathText() const {
    std::string text = view_.Text(Control::ePath);
    return !heldPath_.empty() && text == heldPathShown_ ? heldPath_ : text;
}

void Form::cReplSpaceClick() {
    const bool free = !view_.Checked(Control::cReplSpace);
    view_.SetEnabled(Control::cRemSpace, free);
    view_.SetEnabled(Control::cReplUndr, free);
}

void Form::cReplUndrClick() {
    const bool free = !view_.Checked(Control::cReplUndr);
    view_.SetEnabled(Control::cRemUndr, free);
    view_.SetEnabled(Control::cReplSpace, free);
}

// The chooser opens at the field's folder only when that is an existing folder; a confirmed
// folder replaces the field's text; the focus moves on either way.
void Form::Button1Click() {
    Guarded([this] {
        std::string folder = PathText();
        std::error_code error;
        if (folder.empty() || services_.fileSystem == nullptr ||
            !services_.fileSystem->OpenFolder(folder, error)) {
            folder.clear();
        }
        if (view_.PickFolder(folder)) {
            ShowPath(folder);
        }
        view_.SetFocus(Control::cSubDir);
    });
}

void Form::bOKClick() {
    if (!view_.Enabled(Control::bOK) || Running()) {
        return;
    }
    Guarded([this] {
        const RenameOptions options = Options();
        if (!MayRunIn(options.Path)) {
            return;
        }
        runFolder_ = options.Path;
        failedInRun_ = 0;
        runRenamedFolder_ = false;
        listError_ = nullptr;
        journalPath_.clear();
        journalError_ = {};
        EnterRunState();
        // The run's thread owns the journal from its start to its end; the form reads what it
        // left only after the run has ended (the batcher's lock orders the two).
        BackgroundRun::Body body = [this, options](RunSink& sink, RunCounters& counters,
                                                   StopRequest& stop) {
            FileSystem& fileSystem = *services_.fileSystem;
            if (services_.journals == nullptr) {
                Run(options, fileSystem, sink, counters, stop);
                return;
            }
            RunJournal journal(*services_.journals, sink,
                               {"Tovana " + services_.version, options, {}});
            journal.StopWhenUnwritable(stop);
            try {
                Run(options, fileSystem, journal, counters, stop, services_.journals->folder());
            } catch (...) {
                journal.Finish(counters);
                journalPath_ = journal.path();
                journalError_ = journal.error();
                throw;
            }
            journal.Finish(counters);
            journalPath_ = journal.path();
            journalError_ = journal.error();
        };
        std::weak_ptr<Form*> self = self_;
        FormView& view = view_;
        try {
            run_ = std::make_unique<BackgroundRun>(std::move(body), [self, &view] {
                view.PostToUi([self] {
                    if (const std::shared_ptr<Form*> form = self.lock()) {
                        (*form)->TakeRunUpdate();
                    }
                });
            });
        } catch (...) {  // no thread for the run
            LeaveRunState();
            throw;
        }
    });
}

bool Form::MayRunIn(const std::string& folder) {
    if (!ReadableFolder(folder)) {
        return false;
    }
    if (!IsWideFolder(folder, services_.homeFolder)) {
        return true;
    }
    Box question{services_.applicationTitle,
                 "Zvolená složka " + Quoted(folder) +
                     (SamePath(folder, services_.homeFolder) ? " je celá vaše domovská složka."
                                                             : " je celý disk.") +
                     "\rOpravdu v ní přejmenovat?",
                 BoxIcon::None, BoxButtons::YesNo, true};
    return view_.ShowBox(question) == BoxAnswer::Yes;
}

bool Form::ReadableFolder(const std::string& folder) {
    std::error_code error;
    std::unique_ptr<Folder> opened = services_.fileSystem->OpenFolder(folder, error);
    EntryList entries;
    if (opened != nullptr) {
        error = services_.fileSystem->ReadEntries(*opened, entries);
    }
    if (opened == nullptr || error) {
        std::error_code ignored;
        const std::filesystem::path path = std::filesystem::u8path(folder);
        const FailReason reason = ReasonOf(error);
        std::string text;
        if (std::filesystem::exists(path, ignored) &&
            !std::filesystem::is_directory(path, ignored)) {
            text = NotAFolderText(Quoted(folder));
        } else if (reason == FailReason::NotFound || !std::filesystem::exists(path, ignored)) {
            text = "Složka " + Quoted(folder) + " neexistuje";
        } else if (reason == FailReason::AccessDenied) {
            text = "Složku " + Quoted(folder) + " nelze přečíst: přístup odepřen";
        } else {
            text = "Složku " + Quoted(folder) + " nelze přečíst: " + error.message();
        }
        view_.ShowBox({services_.applicationTitle, ErrorBoxText(text), BoxIcon::Stop});
        return false;
    }
    return true;
}

void Form::StartIn(const std::string& folder) {
    if (folder.empty() || Running()) {
        return;
    }
    ShowPath(folder);
    Guarded([this, &folder] { ReadableFolder(folder); });
}

void Form::PathsDropped(const std::vector<std::string>& paths) {
    if (paths.empty() || Running()) {
        return;
    }
    Guarded([this, &paths] {
        std::string text;
        std::error_code ignored;
        if (paths.size() > 1) {
            text = "Přetáhněte sem jen jeden adresář, ne " + std::to_string(paths.size()) +
                   " položek.\rAdresář se nezměnil";
        } else if (!std::filesystem::is_directory(std::filesystem::u8path(paths.front()),
                                                  ignored)) {
            text = NotAFolderText(Quoted(paths.front())) + ".\rAdresář se nezměnil";
        } else {
            ShowPath(paths.front());
            return;
        }
        view_.ShowBox({services_.applicationTitle, ErrorBoxText(text), BoxIcon::Stop});
    });
}

void Form::EnterRunState() {
    captionBeforeRun_ = view_.Caption();
    focusBeforeRun_ = view_.Focus();
    // The focus moves first: a control greyed out with the focus would leave the window with
    // none, and Esc with nowhere to go.
    view_.SetFocus(Control::bCancel);
    enabledBeforeRun_.clear();
    for (const Control control : kControlsLockedDuringRun) {
        enabledBeforeRun_.push_back(view_.Enabled(control));
        view_.SetEnabled(control, false);
    }
    view_.SetBusy(true);
}

// Each control as it was before the run, the boxes that rule out one another included.
void Form::LeaveRunState() {
    view_.SetBusy(false);
    for (std::size_t i = 0; i < enabledBeforeRun_.size(); ++i) {
        view_.SetEnabled(kControlsLockedDuringRun[i], enabledBeforeRun_[i]);
    }
    enabledBeforeRun_.clear();
    view_.SetCaption(captionBeforeRun_);
    if (focusBeforeRun_ && view_.Enabled(*focusBeforeRun_)) {
        view_.SetFocus(*focusBeforeRun_);
    }
}

void Form::TakeRows(RunUpdate& update) {
    for (LogEntry& entry : update.rows) {
        if (entry.Kind == rkFailed) {
            ++failedInRun_;
        } else if (entry.Kind == rkDirRenamed && SamePath(entry.Path, runFolder_)) {
            runRenamedFolder_ = true;
            std::string parent = Trimmed(entry.Path);
            while (!parent.empty() && !IsSeparator(parent.back())) {
                parent.pop_back();
            }
            runRenamedTo_ = parent + entry.NewName;
        }
        if (listError_ == nullptr && !view_.AppendRow(std::move(entry), /*preview=*/false)) {
            listError_ = std::make_exception_ptr(std::runtime_error("Unable to insert a line"));
            run_->RequestStop();
        }
    }
    view_.RowsAppended();
}

void Form::TakeRunUpdate() {
    if (!Running()) {
        return;
    }
    if (askingToStop_) {
        // The question's own loop delivers this; the rows wait, and no summary opens over the
        // question. Taken as soon as it is answered.
        takeAfterQuestion_ = true;
        return;
    }
    RunUpdate update = run_->Take();
    TakeRows(update);
    if (!update.finished) {
        view_.SetCaption(captionBeforeRun_ + "  \u2013 přejmenováno " +
                         std::to_string(update.filesRenamed) + " souborů, " +
                         std::to_string(update.foldersRenamed) + " adresářů");
        return;
    }
    counters_ = update.counters;
    std::exception_ptr error = listError_ != nullptr ? listError_ : update.error;
    run_->Wait();
    run_.reset();
    LeaveRunState();
    if (!journalPath_.empty()) {
        lastJournal_ = journalPath_;
    }
    if (runRenamedFolder_) {
        ShowPath(runRenamedTo_);
    }
    if (error != nullptr) {
        Guarded([&error] { std::rethrow_exception(error); });
    } else {
        std::string summary = SummaryText(counters_);
        if (failedInRun_ > 0) {
            summary += "\rNepřejmenováno: " + std::to_string(failedInRun_);
        }
        view_.ShowBox({kSummaryTitle, summary});
    }
    if (journalError_ && journalPath_.empty()) {
        view_.ShowBox({services_.applicationTitle,
                       ErrorBoxText("Záznam přejmenování nelze zapsat: " + journalError_.message() +
                                    "\rPřejmenování proto nepůjde vrátit zpět"),
                       BoxIcon::Stop});
    } else if (journalError_) {
        // The run stopped before its next rename: all it renamed is in the journal.
        view_.ShowBox({services_.applicationTitle,
                       ErrorBoxText("Záznam přejmenování nelze dále zapisovat do " +
                                    Quoted(journalPath_) + ": " + journalError_.message() +
                                    "\rPřejmenování bylo proto zastaveno. Záznam je neúplný, ale "
                                    "vše, co bylo přejmenováno, jde vrátit zpět."),
                       BoxIcon::Stop});
    }
}

void Form::AskToStopRun() {
    if (!Running()) {
        return;
    }
    if (askingToStop_) {
        return;
    }
    askingToStop_ = true;
    const BoxAnswer answer = view_.ShowBox(
        {services_.applicationTitle, "Přerušit přejmenování?", BoxIcon::None, BoxButtons::YesNo});
    askingToStop_ = false;
    if (answer == BoxAnswer::Yes) {
        run_->RequestStop();
    }
    if (takeAfterQuestion_) {
        takeAfterQuestion_ = false;
        TakeRunUpdate();
    }
}

void Form::StopRunAndWait() {
    if (!Running()) {
        return;
    }
    run_->RequestStop();
    run_->Wait();
    RunUpdate update = run_->Take();
    TakeRows(update);
    counters_ = update.counters;
    run_.reset();
    LeaveRunState();
    if (!journalPath_.empty()) {
        lastJournal_ = journalPath_;
    }
}

void Form::lAuthorClick() {
    view_.OpenAddress(kAuthorAddress);
}

void Form::lWebClick() {
    view_.OpenAddress(kWebAddress);
}

void Form::bCancelClick() {
    if (Running()) {
        AskToStopRun();
        return;
    }
    view_.Close();
}

bool Form::FormCloseQuery() {
    if (Running()) {
        AskToStopRun();
        return false;
    }
    return Guarded([this] {
        if (services_.settings != nullptr) {
            SaveSettings(*services_.settings, *this);
        }
    });
}

std::vector<MenuItem> Form::lbMessageMenu() const {
    const bool hasRows = view_.RowCount() > 0;
    return {
        {MenuCommand::Preview, "Náhled", "F5", !view_.Text(Control::ePath).empty()},
        {MenuCommand::Undo, "Vrátit zpět poslední přejmenování", "Ctrl+Z", !lastJournal_.empty()},
        {MenuCommand::Copy, "Kopírovat", "Ctrl+C", hasRows},
        {MenuCommand::OpenFolder, "Otevřít složku", "", hasRows && !view_.SelectedRows().empty()},
    };
}

void Form::lbMessageCommand(MenuCommand command) {
    for (const MenuItem& item : lbMessageMenu()) {
        if (item.command != command || !item.enabled) {
            continue;
        }
        switch (command) {
            case MenuCommand::Preview:
                return miPreviewClick();
            case MenuCommand::Undo:
                return miUndoClick();
            case MenuCommand::Copy:
                return miCopyClick();
            case MenuCommand::OpenFolder:
                return miOpenFolderClick();
        }
    }
}

void Form::RunInWindow(const std::function<void()>& work) {
    Guarded([this, &work] {
        const Busy busy(view_);
        work();
    });
}

namespace {

constexpr char kPreviewLine[] = "Náhled: nic nebylo přejmenováno.";
constexpr char kUndoTitle[] = "Vrátit zpět";

std::string UndoProblemText(UndoProblem problem, const std::string& journal,
                            const std::string& detail) {
    const std::string named = "Záznam běhu „" + journal + "“";
    switch (problem) {
        case UndoProblem::None:
            break;
        case UndoProblem::NothingToUndo:
            return "Není co vrátit zpět: poslední přejmenování už bylo vráceno";
        case UndoProblem::Unreadable:
            return named + " nelze přečíst (" + detail + "). Nic nebylo přejmenováno";
        case UndoProblem::Damaged:
            return named + " je poškozený (" + detail + "). Nic nebylo přejmenováno";
        case UndoProblem::OtherPlatform:
            return named + " pochází z jiného systému. Nic nebylo přejmenováno";
    }
    return {};
}

}  // namespace

void Form::miPreviewClick() {
    if (view_.Text(Control::ePath).empty() || services_.fileSystem == nullptr) {
        return;
    }
    RunCounters counters;
    bool done = false;
    RunInWindow([&] {
        const RenameOptions options = Options();
        DryRunFileSystem dryRun(*services_.fileSystem);
        ListSink sink(view_, true);
        const StopRequest never;
        Run(options, dryRun, sink, counters, never,
            services_.journals ? services_.journals->folder() : std::string());
        done = true;
    });
    if (done) {
        view_.ShowBox({kSummaryTitle, SummaryText(counters) + "\r" + kPreviewLine});
    }
}

void Form::miUndoClick() {
    if (lastJournal_.empty() || services_.fileSystem == nullptr) {
        return;
    }
    Journal journal;
    std::string detail;
    const JournalProblem problem = ReadJournal(lastJournal_, journal, detail);
    if (problem != JournalProblem::None) {
        view_.ShowBox(
            {services_.applicationTitle,
             ErrorBoxText(UndoProblemText(static_cast<UndoProblem>(static_cast<int>(problem) + 1),
                                          lastJournal_, detail)),
             BoxIcon::Stop});
        return;
    }
    const Box question{kUndoTitle,
                       "Vrátit zpět přejmenování ve složce\r" + Shown(journal.Folder) +
                           "\rspuštěné " + journal.Started + "?",
                       BoxIcon::None, BoxButtons::YesNo};
    if (view_.ShowBox(question) != BoxAnswer::Yes) {
        return;
    }
    RunCounters counters;
    UndoOutcome outcome;
    bool done = false;
    RunInWindow([&] {
        std::unique_ptr<JournalStore> own;
        JournalStore* store = services_.journals;
        if (store == nullptr) {
            own = JournalStore::ForCurrentUser();
            store = own.get();
        }
        ListSink sink(view_);
        outcome = UndoRun(*store, lastJournal_, *services_.fileSystem, sink, counters,
                          services_.applicationTitle + " " + services_.version, false, true);
        done = true;
    });
    if (!done) {
        return;
    }
    if (outcome.Problem != UndoProblem::None) {
        view_.ShowBox({services_.applicationTitle,
                       ErrorBoxText(UndoProblemText(outcome.Problem, lastJournal_, outcome.Detail)),
                       BoxIcon::Stop});
        return;
    }
    if (outcome.JournalIncomplete) {
        view_.ShowBox({services_.applicationTitle,
                       ErrorBoxText("Záznam přejmenování je neúplný (" + outcome.IncompleteWhy +
                                    "). Vráceno zpět bylo vše, co zaznamenal; přejmenování "
                                    "bylo zastaveno, když ho už nešlo zapisovat."),
                       BoxIcon::Stop});
    }
    // Put back once: a second Ctrl+Z must not quietly redo the run. A run put back only in
    // part stays the one Ctrl+Z goes on with; what is back already is left as it is.
    if (outcome.Failed == 0 && !counters.Stopped) {
        lastJournal_.clear();
    }
    std::string text = SummaryText(counters);
    if (outcome.Failed > 0) {
        text += "\rNevráceno zpět: " + std::to_string(outcome.Failed);
    }
    view_.ShowBox({kSummaryTitle, text});
}

void Form::miCopyClick() {
    std::vector<std::size_t> indexes = view_.SelectedRows();
    if (indexes.empty()) {
        for (std::size_t i = 0; i < view_.RowCount(); ++i) {
            indexes.push_back(i);
        }
    }
    if (indexes.empty()) {
        return;
    }
    std::vector<ResultRow> rows;
    rows.reserve(indexes.size());
    for (const std::size_t i : indexes) {
        rows.push_back(view_.Row(i));
    }
    view_.CopyText(CopiedText(rows));
}

void Form::miOpenFolderClick() {
    const std::vector<std::size_t> selected = view_.SelectedRows();
    if (selected.empty()) {
        return;
    }
    const std::string path = view_.Row(selected.front()).Entry.Path;
    const std::size_t delimiter = path.rfind(kFolderDelimiter);
    if (delimiter == std::string::npos) {
        return;
    }
    // The delimiter stays: a root such as "/" or "C:\" needs it, and other folders take it.
    view_.ShowFolder(path.substr(0, delimiter + 1));
}

std::string RowText(const ResultRow& row) {
    if (!row.Preview) {
        return Shown(row.Entry.Path);
    }
    return Shown(row.Entry.Path) + " → " + row.Entry.NewName;
}

std::string ReasonText(FailReason reason) {
    switch (reason) {
        case FailReason::None:
            break;
        case FailReason::TargetExists:
            return "položka s novým názvem už existuje";
        case FailReason::AccessDenied:
            return "přístup byl odepřen";
        case FailReason::NameTooLong:
            return "nový název je příliš dlouhý";
        case FailReason::InUse:
            return "položku používá jiný program";
        case FailReason::NotFound:
            return "položka už na svém místě není";
        case FailReason::InvalidName:
            return "nový název je neplatný";
        case FailReason::FolderUnreadable:
            return "složku nelze přečíst";
        case FailReason::WouldHide:
            return "nový název by položku skryl";
        case FailReason::Other:
            return "jiná chyba systému";
    }
    return {};
}

std::string RowTooltip(const ResultRow& row) {
    std::string text = "Nový název: " + row.Entry.NewName;
    if (row.Entry.Kind == rkFailed) {
        text += "\nNepřejmenováno: ";
        const std::string reason = ReasonText(row.Entry.Reason);
        text += reason.empty() ? "důvod není znám" : reason;
    }
    if (row.Preview) {
        text += "\nNáhled: nic nebylo přejmenováno";
    }
    return text;
}

std::string CopiedText(const std::vector<ResultRow>& rows) {
    std::string text;
    for (const ResultRow& row : rows) {
        text += Shown(row.Entry.Path);
        text += '\t';
        text += row.Entry.NewName;
        text += '\n';
    }
    return text;
}

RenameOptions Form::Options() const {
    const auto acting = [this](Control box) { return view_.Checked(box) && view_.Enabled(box); };
    RenameOptions o;
    o.Path = PathText();
    o.Masks = view_.Text(Control::eMask);
    o.SubDir = view_.Checked(Control::cSubDir);
    o.RenameDir = view_.Checked(Control::cRenDir);
    o.ReplaceSpace = acting(Control::cReplSpace);
    o.RemoveSpace = acting(Control::cRemSpace);
    o.ReplaceUnderline = acting(Control::cReplUndr);
    o.RemoveUnderline = acting(Control::cRemUndr);
    o.NonAlphaNum = view_.Checked(Control::cNonAlphaNum);
    o.ToUpperCase = view_.Checked(Control::rUpperName);
    o.ToLowerCase = view_.Checked(Control::rLowerName);
    return o;
}

std::string Form::Text(Setting setting) const {
    return setting == Setting::Path ? PathText() : view_.Text(ControlOf(setting));
}

void Form::SetText(Setting setting, const std::string& text) {
    if (setting == Setting::Path) {
        ShowPath(text);
    } else {
        view_.SetText(ControlOf(setting), text);
    }
}

bool Form::Flag(Setting setting) const {
    return view_.Checked(ControlOf(setting));
}

void Form::SetFlag(Setting setting, bool on) {
    view_.SetChecked(ControlOf(setting), on);
}

bool IsWideFolder(const std::string& folder, const std::string& home) {
    const std::string path = Trimmed(folder);
#ifdef _WIN32
    const bool root = (path.size() == 2 || path.size() == 3) && path[1] == ':' &&
                      (path.size() == 2 || IsSeparator(path[2]));
#else
    const bool root = path == "/";
#endif
    return root || (!home.empty() && SamePath(path, home));
}

std::string ErrorBoxText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') {
        return message + ".";
    }
    return message;
}

std::string ApplicationTitle(const std::string& programPath) {
    std::string name = programPath.substr(programPath.find_last_of("/\\") + 1);
    name = name.substr(0, name.find('.'));
    if (name.empty()) {
        return name;
    }
    NameChars chars = DecodeName(name);
    for (std::size_t i = 1; i < chars.size(); ++i) {
        chars[i] = LowerChar(chars[i]);
    }
    return EncodeName(chars);
}

std::string AppVersionText(unsigned major, unsigned minor, unsigned release, unsigned build) {
    char text[64];
    std::snprintf(text, sizeof text, "%u.%u.%u (%u)", major & 0xFFFF, minor & 0xFFFF,
                  release & 0xFFFF, build & 0xFFFF);
    return text;
}

ScreenRect PlaceOnScreen(ScreenRect window, const ScreenRect& available) {
    const auto fit = [](int at, int size, int start, int length) {
        at = std::min(at, start + length - size);
        return std::max(at, start);
    };
    window.left = fit(window.left, window.width, available.left, available.width);
    window.top = fit(window.top, window.height, available.top, available.height);
    return window;
}

int RowHeight(int textHeight) {
    return std::max(kRowHeight, textHeight + 2);
}

namespace {

double Luminance(Rgb c) {
    const auto channel = [](int value) {
        const double v = value / 255.0;
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.r) + 0.7152 * channel(c.g) + 0.0722 * channel(c.b);
}

}  // namespace

double ContrastRatio(Rgb a, Rgb b) {
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

namespace {

// What small text needs to be read comfortably.
constexpr double kReadableContrast = 4.5;

}  // namespace

Rgb BannerBackground(Rgb captionText, Rgb window, Rgb heading) {
    return ContrastRatio(captionText, heading) >= kReadableContrast ? captionText : window;
}

Rgb LinkColour(Rgb hotLight, Rgb background) {
    for (const Rgb colour : {hotLight, Rgb{0, 0, 255}}) {
        if (ContrastRatio(colour, background) >= kReadableContrast) {
            return colour;
        }
    }
    return {0x9c, 0xc8, 0xff};  // light blue, for dark backgrounds
}

}  // namespace tovana
