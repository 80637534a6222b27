// The program's one window, all but the drawing: the handlers under their design names, a run
// from the start button with its busy state and summary, error boxes, the folder picker's start
// rule, the settings through the controls, the link addresses and the window's fixed numbers.
//
// Data flow: a view (Qt or native Windows) owns the widgets and calls the handlers below when
// the user acts; the form reads and sets the controls through FormView, runs the renaming
// engine with the options the controls show, appends each attempt to the view's result list,
// and shows its boxes through the view. Settings are loaded into the controls and saved from
// them through SettingsValues.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "form/FormView.h"
#include "form/RunSession.h"
#include "journal/JournalStore.h"
#include "journal/Undo.h"
#include "names/RenameOptions.h"
#include "rename/FileSystem.h"
#include "rename/RenameRun.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"

namespace tovana {

// The window's fixed numbers, designed at 96 pixels per inch.
constexpr int kClientWidth = 393;
constexpr int kClientHeight = 441;
constexpr int kWindowLeft = 871;  // outer top-left corner on the screen
constexpr int kWindowTop = 227;
constexpr int kDesignDpi = 96;
constexpr int kDesignTextHeight = 13;  // height of "0" in the window's font
constexpr int kRowHeight = 16;         // the least height of a result row
constexpr int kPictureSize = 16;

constexpr char kSummaryTitle[] = "Výsledek přejmenování";
constexpr char kAuthorAddress[] = "MailTo:podpora@korvel.example?Subject=Pripominky%20k%20Tovana";
constexpr char kWebAddress[] = "http://www.korvel.example";

// What the form needs from outside the window.
struct FormServices {
    FileSystem* fileSystem = nullptr;  // for runs and the picker's start folder
    SettingsStore* settings = nullptr;
    JournalStore* journals = nullptr;  // where runs are journaled; none: runs are not journaled
    std::string homeFolder;            // the user's home; a run there asks first
    std::string applicationTitle = "Tovana";  // the error box's title
    std::string version;                      // the program's version as the caption shows it
};

// The result list's context menu, top to bottom.
enum class MenuCommand { Preview, Undo, Copy, OpenFolder };

struct MenuItem {
    MenuCommand command;
    std::string text;
    std::string shortcut;  // as the menu shows it; the view binds the key itself
    bool enabled;
};

class Form : public SettingsValues {
  public:
    Form(FormView& view, FormServices services);
    // Stops a run still going and waits for it.
    ~Form() override;

    // The handlers. Each one that can fail shows its error in the error box itself.
    void FormCreate();
    void ePathChange();
    void Button1Click();
    void cReplSpaceClick();
    void cReplUndrClick();
    void bOKClick();
    void lAuthorClick();
    void lWebClick();
    void bCancelClick();
    // Saves the settings; false (the close is cancelled) when a value cannot be written. While a
    // run goes on it asks whether to stop it instead, and the window stays.
    bool FormCloseQuery();

    // A folder from the command line or the file manager fills the folder field in place of
    // the remembered one; nothing runs. A path that is not a readable folder stays in the
    // field and gets the error box that OK would give.
    void StartIn(const std::string& folder);
    // Items dropped on the window: one folder goes into the field (nothing runs); anything else
    // is explained in a box and changes nothing.
    void PathsDropped(const std::vector<std::string>& paths);

    // The result list's context menu and its commands (keys: F5, Ctrl+Z, Ctrl+C).
    std::vector<MenuItem> lbMessageMenu() const;
    void lbMessageCommand(MenuCommand command);
    // Runs the rules without renaming anything; the rows come marked as a preview.
    void miPreviewClick();
    // Asks, then puts back the window's last run; the undo's rows follow like a run's.
    void miUndoClick();
    // The selected rows, or all of them when none is selected, as text on the clipboard.
    void miCopyClick();
    // The folder holding the selected row's entry, in the file manager.
    void miOpenFolderClick();

    // A run, a preview or an undo goes on a worker thread, one at a time (see RunSession); while
    // one is under way every other command is refused.
    bool Running() const { return session_.Busy(); }
    // Esc or the close button during an operation: asks whether to stop it; the operation
    // waits before its next rename meanwhile, and Yes stops it there.
    void AskToStopRun();
    // The desktop session ends: the operation stops the same way, and this waits for it and
    // takes its rows (without boxes), so that the close query saves after it is over.
    void StopRunAndWait();
    // The journal of the window's last real run; empty when it had none or it was undone.
    const std::string& LastJournal() const { return lastJournal_; }

    // The options as the controls show them; a box that is greyed out does not act.
    RenameOptions Options() const;
    const RunCounters& counters() const { return counters_; }

    // Runs `handler`; an error that escapes it goes to the error box. False after an error.
    bool Guarded(const std::function<void()>& handler);

    // SettingsValues: the stored values through the controls.
    std::string Text(Setting setting) const override;
    void SetText(Setting setting, const std::string& text) override;
    bool Flag(Setting setting) const override;
    void SetFlag(Setting setting, bool on) override;

  private:
    friend struct FormTestAccess;
    struct RunResult;

    // A whole disk or the user's home: asks first whether to rename there.
    bool ConfirmWideFolder(const std::string& folder);
    // The error box for a folder an operation could not work in; false when there was none.
    bool FolderProblemShown(const std::string& problem, bool quiet);
    void RunEnded(const OperationEnd& end, const RunResult& result);
    void UndoEnded(const OperationEnd& end, const UndoOutcome& outcome, const std::string& undone);
    // Puts a path into the folder field. A path that is not UTF-8 (a folder stored by a run
    // under a legacy code page) is shown readably, and its bytes stand for the field's text
    // until the field changes.
    void ShowPath(const std::string& path);
    // The folder the field stands for: the kept bytes while the field shows them, else its text.
    std::string PathText() const;

    FormView& view_;
    FormServices services_;
    RunCounters counters_;
    std::string lastJournal_;
    std::string heldPath_;       // the bytes of a path that is not UTF-8; empty when none
    std::string heldPathShown_;  // the field's text for them
    // Last, so that it is gone first: it stops its operation, whose end uses the members above.
    RunSession session_;
};

// Whether `folder` is a whole disk (a file-system root) or the user's home `home`.
bool IsWideFolder(const std::string& folder, const std::string& home);

// A row's text in the list: the old path, and for a preview " → " and the new name.
std::string RowText(const ResultRow& row);

// A row's tooltip: the new name, and for a failed row why it failed (lines separated by line
// feeds).
std::string RowTooltip(const ResultRow& row);

// Why a rename failed, in the window's words.
std::string ReasonText(FailReason reason);

// The rows as text for the clipboard: old path, tab, new name, one row a line.
std::string CopiedText(const std::vector<ResultRow>& rows);

// The error box's text: a full stop is added unless the message already ends in one or in a
// character that sorts below it (a quote, a closing bracket...).
std::string ErrorBoxText(const std::string& message);

// The application's title: the program file's name without folder, cut before its first ".",
// every letter after the first in lower case.
std::string ApplicationTitle(const std::string& programPath);

// "major.minor.release (build)", the version the caption shows.
std::string AppVersionText(unsigned major, unsigned minor, unsigned release, unsigned build);

struct ScreenRect {
    int left, top, width, height;
    bool operator==(const ScreenRect&) const = default;
};

// Where the window's outer corner goes: the designed place, moved just enough for the whole
// window to lie on the screen's available area (its top-left corner wins when it cannot fit).
ScreenRect PlaceOnScreen(ScreenRect window, const ScreenRect& available);

// The height of a result row: 16 pixels, or more when the list's text needs it (the text
// stands 2 pixels below the row's top).
int RowHeight(int textHeight);

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

// The banner's background for its heading: the caption-text colour when the heading reads on
// it, otherwise the window colour, on which window text always reads.
Rgb BannerBackground(Rgb captionText, Rgb window, Rgb heading);

// The links' colour: the platform's hot-light colour where it reads on the window's
// background, otherwise plain link blue, or light blue on a dark background.
Rgb LinkColour(Rgb hotLight, Rgb background);

// Contrast of two colours by relative luminance, 1 (none) to 21 (black on white).
double ContrastRatio(Rgb a, Rgb b);

}  // namespace tovana
