// What the window's logic asks of a window: its controls by name, the result list, the busy
// state, boxes, the folder chooser, the shell. The Qt window and the native Windows window each
// implement it over their own widgets; the form's tests implement it in memory.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "names/SettingTable.h"  // Control
#include "rename/RenameRun.h"

namespace tovana {

enum class BoxIcon { None, Stop };
enum class BoxButtons { Ok, YesNo };
enum class BoxAnswer { Ok, Yes, No };

// One row of the result list: the rename attempt, and whether a preview produced it (nothing
// was renamed for it).
struct ResultRow {
    LogEntry Entry;
    bool Preview = false;
};

struct Box {
    std::string title;
    std::string text;  // lines separated by carriage returns
    BoxIcon icon = BoxIcon::None;
    BoxButtons buttons = BoxButtons::Ok;
    bool defaultNo = false;  // Yes/No: Enter answers No, so that it cannot start anything
};

class FormView {
  public:
    virtual ~FormView() = default;

    // Texts of the edit boxes (UTF-8) and checked states of the check boxes and radio buttons.
    // Every change of the folder text or of the two replacing boxes' checks, whether the user
    // made it or a Set call, reaches the form's change handler (ePathChange, cReplSpaceClick,
    // cReplUndrClick), as it does in the toolkit; a value equal to the current one is no change.
    // Checking a radio button clears its two siblings.
    virtual std::string Text(Control control) const = 0;
    virtual void SetText(Control control, const std::string& text) = 0;
    virtual bool Checked(Control control) const = 0;
    virtual void SetChecked(Control control, bool checked) = 0;
    virtual bool Enabled(Control control) const = 0;
    virtual void SetEnabled(Control control, bool enabled) = 0;
    virtual void SetFocus(Control control) = 0;
    // The control that has the keyboard focus, if one of the above has it.
    virtual std::optional<Control> Focus() const = 0;

    virtual std::string Caption() const = 0;
    virtual void SetCaption(const std::string& caption) = 0;

    // Appends one row to the result list without scrolling or selecting; false when the list
    // refuses the row. The list keeps the whole entry for the row's tooltip and the menu (a run's
    // rows are moved in: a big run's entries are not copied once more).
    virtual bool AppendRow(LogEntry entry, bool preview) = 0;
    // After a batch of AppendRow calls: a list may hold the rows back until then, and show the
    // whole batch at once.
    virtual void RowsAppended() {}
    // The rows the list holds, top to bottom, and the indexes of the selected ones.
    virtual std::size_t RowCount() const = 0;
    virtual ResultRow Row(std::size_t index) const = 0;
    virtual std::vector<std::size_t> SelectedRows() const = 0;

    // Puts `text` (UTF-8, lines ended by line feeds) on the clipboard.
    virtual void CopyText(const std::string& text) = 0;
    // Opens `folder` in the platform's file manager.
    virtual void ShowFolder(const std::string& folder) = 0;

    // The hourglass while a run works; the window takes no input meanwhile (the form greys its
    // controls out besides), but it keeps painting, and Esc, the cancel button and the close
    // button still reach the form (which asks whether to stop the run).
    virtual void SetBusy(bool busy) = 0;

    // Any thread: runs `call` on the window's thread soon, from its event loop (never inside
    // this call). A run on its worker thread announces its rows this way.
    virtual void PostToUi(std::function<void()> call) = 0;

    // A box modal for the whole program: every window of the program is disabled while it is
    // open; afterwards the window that was active is active again, with its focus restored.
    // Returns the button the user closed it with.
    virtual BoxAnswer ShowBox(const Box& box) = 0;

    // The platform's modal folder chooser, opening at `folder` (an existing folder, or empty
    // for the top of the tree). True when the user confirmed a folder; `folder` is then its
    // full path.
    virtual bool PickFolder(std::string& folder) = 0;

    // Hands a mail or web address to the user's mail program or browser.
    virtual void OpenAddress(const std::string& address) = 0;

    // Closes the window by the same path as the title bar's close button, which asks the form
    // (FormCloseQuery) first.
    virtual void Close() = 0;
};

}  // namespace tovana
