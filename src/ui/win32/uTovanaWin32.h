// The program's one window on Windows, built from its dialog description.
//
// Data flow: as in the Qt window, the controls hold all state. Loading the settings sets them
// through FormControls, which runs the same handlers a user's change would (ePathChange,
// cReplSpaceClick, cReplUndrClick); bOKClick reads RenameOptions from the controls and runs the
// renaming engine, whose rows go into lbMessage; lbMessageDrawItem paints them; closing saves.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <string>

#include "rename/FileSystem.h"
#include "rename/RenameRun.h"
#include "settings/SettingsStore.h"
#include "ui/FormLogic.h"

// What the window needs from outside; tests put their own in.
struct TovanaServices {
    tovana::FileSystem* fileSystem = nullptr;
    tovana::SettingsStore* settings = nullptr;
    // The folder picker: owner, folder in and out -> confirmed.
    std::function<bool(HWND, std::wstring&)> selectFolder;
    // A modal message box: owner, title, text, MB_ flags.
    std::function<void(HWND, const std::wstring&, const std::wstring&, UINT)> showMessage;
    // Hands a mail or web address to the shell.
    std::function<void(const std::wstring&)> openAddress;
    std::wstring applicationTitle = L"Tovana";
};

// A control's place in the window's client area at 96 pixels per inch.
struct ControlPlace {
    int id;
    int x, y, width, height;
};
extern const ControlPlace kControlPlaces[];
extern const int kControlPlaceCount;

class TfTovana : public tovana::FormControls {
  public:
    // Creates the window, owned by the application's window, and runs FormCreate; the caller
    // shows it.
    TfTovana(HINSTANCE instance, HWND application, TovanaServices services);
    ~TfTovana() override;
    TfTovana(const TfTovana&) = delete;
    TfTovana& operator=(const TfTovana&) = delete;

    HWND hwnd() const { return window_; }
    bool closed() const { return window_ == nullptr; }
    const tovana::RunCounters& counters() const { return counters_; }
    double scale() const { return scale_; }

    std::string Text(tovana::Control control) const override;
    void SetText(tovana::Control control, const std::string& text) override;
    bool Checked(tovana::Control control) const override;
    void SetChecked(tovana::Control control, bool checked) override;
    bool Enabled(tovana::Control control) const override;
    void SetEnabled(tovana::Control control, bool enabled) override;

    void FormCreate();
    void ePathChange();
    void Button1Click();
    void cReplSpaceClick();
    void cReplUndrClick();
    void bOKClick();
    void lbMessageDrawItem(const DRAWITEMSTRUCT& item);
    void lAuthorClick();
    void lWebClick();
    void bCancelClick();
    bool FormCloseQuery();

    static std::wstring GetAppVersion();

  private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void PlaceControls();
    bool Guarded(const std::function<void()>& handler);
    HWND Item(tovana::Control control) const;

    TovanaServices services_;
    HWND application_;
    HWND window_ = nullptr;
    HIMAGELIST imList_ = nullptr;
    HFONT boldFont_ = nullptr;
    HFONT linkFont_ = nullptr;
    double scale_ = 1.0;
    tovana::RunCounters counters_;
};
