#include "form/Form.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "journal/Journal.h"
#include "journal/JournalStore.h"
#include "journal/LocalTime.h"
#include "journal/Undo.h"
#include "names/LegacyText.h"
#include "names/NameText.h"
#include "names/PathRules.h"
#include "rename/DryRunFileSystem.h"
#include "rename/FailReason.h"

namespace tovana {
namespace {

Control ControlOf(Setting setting) {
    return RowOf(setting).control;
}

// A path as the window shows it: names that are not UTF-8 read as the window's runs read them.
std::string Shown(const std::string& path) {
    return ReadablePath(path, ReadingFor(RenameOptions{}.Legacy));
}

std::string Quoted(const std::string& folder) {
    return "\u201e" + Shown(folder) + "\u201c";
}

}  // namespace

Form::Form(FormView& view, FormServices services)
    : view_(view), services_(std::move(services)), session_(view) {}

Form::~Form() = default;  // the session stops its operation first, and waits for it

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
    if (Running()) {
        return;
    }
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

namespace {

// Why an operation cannot work in `folder`, in the window's words; empty when it can. Looked at
// on the worker: a folder on a dead network share may take long to answer.
std::string FolderProblem(FileSystem& fileSystem, const std::string& folder) {
    std::error_code error;
    std::unique_ptr<Folder> opened = fileSystem.OpenFolder(folder, error);
    EntryList entries;
    if (opened != nullptr) {
        error = fileSystem.ReadEntries(*opened, entries);
    }
    if (opened != nullptr && !error) {
        return {};
    }
    std::error_code ignored;
    const std::filesystem::path path = std::filesystem::u8path(folder);
    const FailReason reason = ReasonOf(error);
    if (std::filesystem::exists(path, ignored) && !std::filesystem::is_directory(path, ignored)) {
        return NotAFolderText(Quoted(folder));
    }
    if (reason == FailReason::NotFound || !std::filesystem::exists(path, ignored)) {
        return "Složka " + Quoted(folder) + " neexistuje";
    }
    if (reason == FailReason::AccessDenied) {
        return "Složku " + Quoted(folder) + " nelze přečíst: přístup odepřen";
    }
    return "Složku " + Quoted(folder) + " nelze přečíst: " + error.message();
}

}  // namespace

// What a run leaves for the window's thread; written by the worker before it ends, read once
// it has (the batcher's lock orders the two).
struct Form::RunResult {
    std::string folderProblem;
    std::string journalPath;
    std::error_code journalError;
};

void Form::bOKClick() {
    if (!view_.Enabled(Control::bOK) || Running()) {
        return;
    }
    Guarded([this] {
        const RenameOptions options = Options();
        if (!ConfirmWideFolder(options.Path)) {
            return;
        }
        auto result = std::make_shared<RunResult>();
        FileSystem* fileSystem = services_.fileSystem;
        JournalStore* journals = services_.journals;
        const std::string program = "Tovana " + services_.version;
        // The worker owns the journal from the run's start to its end.
        RunSession::Body body = [=](RunSink& sink, RunCounters& counters, StopRequest& stop) {
            result->folderProblem = FolderProblem(*fileSystem, options.Path);
            if (!result->folderProblem.empty()) {
                return;
            }
            if (journals == nullptr) {
                Run(options, *fileSystem, sink, counters, stop);
                return;
            }
            RunJournal journal(*journals, sink, {program, options, {}});
            // A journaled run makes no rename its journal cannot hold.
            journal.StopWhenUnwritable(stop);
            try {
                Run(options, *fileSystem, journal, counters, stop, journals->folder());
            } catch (...) {
                journal.Finish(counters);
                result->journalPath = journal.path();
                result->journalError = journal.error();
                throw;
            }
            journal.Finish(counters);
            result->journalPath = journal.path();
            result->journalError = journal.error();
        };
        session_.Start(OperationKind::Run, options.Path, std::move(body),
                       [this, result](const OperationEnd& end) { RunEnded(end, *result); });
    });
}

bool Form::ConfirmWideFolder(const std::string& folder) {
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

void Form::StartIn(const std::string& folder) {
    if (folder.empty() || Running()) {
        return;
    }
    ShowPath(folder);
    Guarded([this, &folder] {
        FolderProblemShown(FolderProblem(*services_.fileSystem, folder), false);
    });
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

bool Form::FolderProblemShown(const std::string& problem, bool quiet) {
    if (problem.empty()) {
        return false;
    }
    if (!quiet) {
        view_.ShowBox({services_.applicationTitle, ErrorBoxText(problem), BoxIcon::Stop});
    }
    return true;
}

void Form::RunEnded(const OperationEnd& end, const RunResult& result) {
    if (FolderProblemShown(result.folderProblem, end.quiet)) {
        return;
    }
    counters_ = end.counters;
    if (!result.journalPath.empty()) {
        lastJournal_ = result.journalPath;
    }
    if (end.chosenFolderNow) {
        ShowPath(*end.chosenFolderNow);
    }
    if (end.quiet) {
        return;
    }
    if (end.error != nullptr) {
        Guarded([&end] { std::rethrow_exception(end.error); });
    } else {
        std::string summary = SummaryText(end.counters);
        if (end.failed > 0) {
            summary += "\rNepřejmenováno: " + std::to_string(end.failed);
        }
        view_.ShowBox({kSummaryTitle, summary});
    }
    if (result.journalError && result.journalPath.empty()) {
        view_.ShowBox(
            {services_.applicationTitle,
             ErrorBoxText("Záznam přejmenování nelze zapsat: " + result.journalError.message() +
                          "\rPřejmenování proto nepůjde vrátit zpět"),
             BoxIcon::Stop});
    } else if (result.journalError) {
        // The run stopped before its next rename: all it renamed is in the journal.
        view_.ShowBox(
            {services_.applicationTitle,
             ErrorBoxText("Záznam přejmenování nelze dále zapisovat do " +
                          Quoted(result.journalPath) + ": " + result.journalError.message() +
                          "\rPřejmenování bylo proto zastaveno. Záznam je neúplný, ale "
                          "vše, co bylo přejmenováno, jde vrátit zpět."),
             BoxIcon::Stop});
    }
}

void Form::AskToStopRun() {
    session_.AskToStop(services_.applicationTitle);
}

void Form::StopRunAndWait() {
    session_.StopAndWait();
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
    // Nothing from the menu while an operation is under way.
    const bool idle = !Running();
    const bool hasRows = view_.RowCount() > 0;
    return {
        {MenuCommand::Preview, "Náhled", "F5", idle && !view_.Text(Control::ePath).empty()},
        {MenuCommand::Undo, "Vrátit zpět poslední přejmenování", "Ctrl+Z",
         idle && !lastJournal_.empty()},
        {MenuCommand::Copy, "Kopírovat", "Ctrl+C", idle && hasRows},
        {MenuCommand::OpenFolder, "Otevřít složku", "",
         idle && hasRows && !view_.SelectedRows().empty()},
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
    if (view_.Text(Control::ePath).empty() || services_.fileSystem == nullptr || Running()) {
        return;
    }
    Guarded([this] {
        const RenameOptions options = Options();
        auto problem = std::make_shared<std::string>();
        FileSystem* fileSystem = services_.fileSystem;
        const std::string journalFolder =
            services_.journals ? services_.journals->folder() : std::string();
        RunSession::Body body = [=](RunSink& sink, RunCounters& counters, const StopRequest& stop) {
            *problem = FolderProblem(*fileSystem, options.Path);
            if (problem->empty()) {
                DryRunFileSystem dryRun(*fileSystem);
                Run(options, dryRun, sink, counters, stop, journalFolder);
            }
        };
        session_.Start(OperationKind::Preview, options.Path, std::move(body),
                       [this, problem](const OperationEnd& end) {
                           if (FolderProblemShown(*problem, end.quiet) || end.quiet) {
                               return;
                           }
                           if (end.error != nullptr) {
                               Guarded([&end] { std::rethrow_exception(end.error); });
                               return;
                           }
                           std::string text = SummaryText(end.counters);
                           if (end.failed > 0) {
                               text += "\rNepřejmenováno by bylo: " + std::to_string(end.failed);
                           }
                           view_.ShowBox({kSummaryTitle, text + "\r" + kPreviewLine});
                       });
    });
}

void Form::miUndoClick() {
    if (lastJournal_.empty() || services_.fileSystem == nullptr || Running()) {
        return;
    }
    Journal journal;
    std::string detail;
    const UndoProblem problem = UndoProblemOf(ReadJournal(lastJournal_, journal, detail));
    if (problem != UndoProblem::None) {
        view_.ShowBox({services_.applicationTitle,
                       ErrorBoxText(UndoProblemText(problem, lastJournal_, detail)),
                       BoxIcon::Stop});
        return;
    }
    const Box question{kUndoTitle,
                       "Vrátit zpět přejmenování ve složce\r" + Shown(journal.Folder) +
                           "\rspuštěné " + LocalTimeText(journal.Started, TimeForm::Czech) + "?",
                       BoxIcon::None, BoxButtons::YesNo};
    if (view_.ShowBox(question) != BoxAnswer::Yes) {
        return;
    }
    Guarded([this, &journal] {
        auto outcome = std::make_shared<UndoOutcome>();
        FileSystem* fileSystem = services_.fileSystem;
        JournalStore* journals = services_.journals;
        const std::string undone = lastJournal_;
        const std::string program = services_.applicationTitle + " " + services_.version;
        RunSession::Body body = [=](RunSink& sink, RunCounters& counters, const StopRequest& stop) {
            std::unique_ptr<JournalStore> own;
            JournalStore* store = journals;
            if (store == nullptr) {
                own = JournalStore::ForCurrentUser();
                store = own.get();
            }
            *outcome =
                UndoRun(*store, undone, *fileSystem, sink, counters, stop, program, false, true);
        };
        session_.Start(
            OperationKind::Undo, journal.Folder, std::move(body),
            [this, outcome, undone](const OperationEnd& end) { UndoEnded(end, *outcome, undone); });
    });
}

void Form::UndoEnded(const OperationEnd& end, const UndoOutcome& outcome,
                     const std::string& undone) {
    if (end.error != nullptr) {
        if (!end.quiet) {
            Guarded([&end] { std::rethrow_exception(end.error); });
        }
        return;
    }
    if (outcome.Problem != UndoProblem::None) {
        if (!end.quiet) {
            view_.ShowBox({services_.applicationTitle,
                           ErrorBoxText(UndoProblemText(outcome.Problem, undone, outcome.Detail)),
                           BoxIcon::Stop});
        }
        return;
    }
    // Put back once: a second Ctrl+Z must not quietly redo the run. A run put back only in
    // part, or an undo stopped, stays the one Ctrl+Z goes on with; what is back already is left
    // as it is.
    if (outcome.Failed == 0 && !end.counters.Stopped && lastJournal_ == undone) {
        lastJournal_.clear();
    }
    if (end.quiet) {
        return;
    }
    if (outcome.JournalIncomplete) {
        view_.ShowBox({services_.applicationTitle,
                       ErrorBoxText("Záznam přejmenování je neúplný (" + outcome.IncompleteWhy +
                                    "). Vráceno zpět bylo vše, co zaznamenal; přejmenování "
                                    "bylo zastaveno, když ho už nešlo zapisovat."),
                       BoxIcon::Stop});
    }
    std::string text = SummaryText(end.counters);
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
    RenameOptions o;
    for (const SettingRow& row : kSettings) {
        if (row.text != nullptr) {
            o.*row.text = Text(row.setting);
        } else {
            o.*row.on = view_.Checked(row.control);
        }
    }
    // A box greyed out by the other replacement does not act, checked or not.
    for (Setting greyable : {Setting::ReplaceSpace, Setting::RemoveSpace, Setting::ReplaceUnderline,
                             Setting::RemoveUnderline}) {
        const SettingRow& row = RowOf(greyable);
        o.*row.on = o.*row.on && view_.Enabled(row.control);
    }
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
    return IsRootPath(folder) || (!home.empty() && SamePath(folder, home));
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
