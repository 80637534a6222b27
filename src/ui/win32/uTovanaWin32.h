// The program's one window on Windows, built from its dialog description: widgets, drawing,
// keys and the platform's services. What the window does lives in tovana::Form; this view
// hands it the user's actions and does what it asks (see form/FormView.h).
//
// Data flow: dialog notifications -> Form handlers -> FormView calls back into the controls;
// a run's rows go into lbMessage, whose rows lbMessageDrawItem paints.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <deque>
#include <functional>
#include <string>

#include "form/Form.h"
#include "ui/win32/Owned.h"

// What the window needs from outside; tests put their own in. Empty functions mean the real
// thing: the shell's folder browser, a message box modal for the program, the shell's "Open".
struct TovanaServices {
    tovana::FileSystem* fileSystem = nullptr;
    tovana::SettingsStore* settings = nullptr;
    tovana::JournalStore* journals = nullptr;  // none: runs are not journaled
    std::wstring homeFolder;                   // the user's profile folder; a run there asks first
    // The folder picker: owner, folder in and out -> confirmed.
    std::function<bool(HWND, std::wstring&)> selectFolder;
    std::function<tovana::BoxAnswer(const tovana::Box&)> showBox;
    std::function<void(const std::wstring&)> openAddress;
    // The result list's context menu at a screen point -> the chosen command's id or 0.
    std::function<UINT(HMENU, POINT)> trackMenu;
    std::wstring applicationTitle = L"Tovana";
};

// A control's place in the window's client area at 96 pixels per inch.
struct ControlPlace {
    int id;
    int x, y, width, height;
};
extern const ControlPlace kControlPlaces[];
extern const int kControlPlaceCount;

// The application's own window: zero size at the centre of the screen, with the program's
// icon. It holds the task-bar button and owns the main window, the boxes and the browser;
// closing it, activating it or ending the session reaches the main window.
HWND CreateApplicationWindow(HINSTANCE instance, const std::wstring& title);

// A message box owned by `owner` and modal for the whole program: every enabled window of the
// thread is disabled while it is open; afterwards the window that was active is active again
// with its focus restored. The box opens centred over the main window (over `owner` when that is
// not the application's window), wide enough for its whole title. Returns the MessageBox answer.
int ShowProgramModalBox(HWND owner, const std::wstring& title, const std::wstring& text,
                        UINT flags);

class TfTovana : public tovana::FormView {
  public:
    // Creates the window, owned by the application's window, and runs FormCreate; the caller
    // shows it.
    TfTovana(HINSTANCE instance, HWND application, TovanaServices services);
    ~TfTovana() override;
    TfTovana(const TfTovana&) = delete;
    TfTovana& operator=(const TfTovana&) = delete;

    HWND hwnd() const { return window_; }
    bool closed() const { return window_ == nullptr; }
    tovana::Form& form() { return form_; }
    double scale() const { return scale_; }

    // Hands a message of the loop to the window's dialog manager: Tab, Enter, Esc, access
    // keys. Enter and Esc do nothing while Shift, Ctrl or Alt is held. True when handled.
    bool HandleKeys(MSG& message);

    // FormView
    std::string Text(tovana::Control control) const override;
    void SetText(tovana::Control control, const std::string& text) override;
    bool Checked(tovana::Control control) const override;
    void SetChecked(tovana::Control control, bool checked) override;
    bool Enabled(tovana::Control control) const override;
    void SetEnabled(tovana::Control control, bool enabled) override;
    void SetFocus(tovana::Control control) override;
    std::optional<tovana::Control> Focus() const override;
    std::string Caption() const override;
    void SetCaption(const std::string& caption) override;
    bool AppendRow(tovana::LogEntry entry, bool preview) override;
    void RowsAppended() override;
    std::size_t RowCount() const override;
    tovana::ResultRow Row(std::size_t index) const override;
    std::vector<std::size_t> SelectedRows() const override;
    void CopyText(const std::string& text) override;
    void ShowFolder(const std::string& folder) override;
    void SetBusy(bool busy) override;
    void PostToUi(std::function<void()> call) override;
    tovana::BoxAnswer ShowBox(const tovana::Box& box) override;
    bool PickFolder(std::string& folder) override;
    void OpenAddress(const std::string& address) override;
    void Close() override;

    void lbMessageDrawItem(const DRAWITEMSTRUCT& item);

    static std::string GetAppVersion();

  private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCommand(int id, int code);
    INT_PTR OnColourStatic(HDC dc, HWND control);
    // The result list's context menu at a screen point; (-1, -1) for the keyboard's.
    void lbMessageContextPopup(POINT at);
    // The list's tooltip: the text of the row under the mouse.
    void lbMessageTooltipText(NMTTDISPINFOW& info);
    static LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR id, DWORD_PTR self);
    void PlaceControls();
    void FitCaptions();
    HWND Item(tovana::Control control) const;

    TovanaServices services_;
    tovana::Form form_;
    HWND application_;
    HWND window_ = nullptr;
    OwnedPictureList imList_;
    OwnedFont boldFont_;
    OwnedFont linkFont_;
    OwnedBrush bannerBrush_;
    OwnedIcon bigIcon_;
    OwnedIcon smallIcon_;
    HCURSOR busyPrevious_ = nullptr;
    HWND tooltip_ = nullptr;
    int tooltipRow_ = -1;
    std::wstring tooltipText_;
    // Each row's entry; the list's item data points here (a deque keeps the addresses).
    std::deque<tovana::ResultRow> rows_;
    bool busy_ = false;
    bool rowsHeld_ = false;  // the list does not redraw until the batch is in
    double scale_ = 1.0;
};
