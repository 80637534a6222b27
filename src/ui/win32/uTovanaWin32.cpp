#include "ui/win32/uTovanaWin32.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>

#include "TovanaVersion.h"
#include "rename/WideText.h"
#include "settings/Settings.h"
#include "ui/win32/resource.h"

using tovana::Control;
using tovana::Utf8FromWide;
using tovana::WideFromUtf8;

// Every control at its place in the client area, group boxes' contents included.
const ControlPlace kControlPlaces[] = {
    {IDC_PANEL1, 0, 0, 393, 41},
    {IDC_LABEL4, 8, 6, 329, 13},
    {IDC_BEVEL1, 0, 41, 393, 9},
    {IDC_GROUPBOX1, 8, 48, 377, 113},
    {IDC_LABEL1, 24, 67, 40, 13},
    {IDC_EPATH, 104, 64, 241, 21},
    {IDC_BUTTON1, 344, 64, 21, 21},
    {IDC_CSUBDIR, 104, 88, 241, 17},
    {IDC_LABEL2, 24, 115, 67, 13},
    {IDC_EMASK, 104, 112, 241, 21},
    {IDC_LABEL3, 104, 136, 123, 13},
    {IDC_GROUPBOX3, 8, 168, 233, 145},
    {IDC_CRENDIR, 16, 184, 169, 17},
    {IDC_CREPLSPACE, 16, 208, 169, 17},
    {IDC_CNONALPHANUM, 16, 224, 209, 17},
    {IDC_CREMUNDR, 16, 248, 177, 17},
    {IDC_CREPLUNDR, 16, 264, 169, 17},
    {IDC_CREMSPACE, 16, 288, 177, 17},
    {IDC_GROUPBOX2, 248, 168, 137, 73},
    {IDC_RNOCHANGENAME, 256, 184, 113, 17},
    {IDC_RUPPERNAME, 256, 200, 121, 17},
    {IDC_RLOWERNAME, 256, 216, 121, 17},
    {IDC_LBMESSAGE, 8, 320, 377, 84},
    {IDC_LABEL5, 16, 411, 28, 13},
    {IDC_LAUTHOR, 56, 411, 42, 13},
    {IDC_LWEB, 112, 411, 79, 13},
    {IDOK, 216, 408, 75, 25},
    {IDCANCEL, 304, 408, 75, 25},
};
const int kControlPlaceCount = sizeof kControlPlaces / sizeof kControlPlaces[0];

namespace {

constexpr int kDesignTextHeight = 13;
constexpr int kClientWidth = 393;
constexpr int kClientHeight = 441;
constexpr int kRowHeight = 16;
const wchar_t kSupportMail[] = L"podpora@korvel.example";
const wchar_t kWebHost[] = L"www.korvel.example";

int IdOf(Control control) {
    switch (control) {
        case Control::ePath:
            return IDC_EPATH;
        case Control::eMask:
            return IDC_EMASK;
        case Control::cSubDir:
            return IDC_CSUBDIR;
        case Control::cRenDir:
            return IDC_CRENDIR;
        case Control::cReplSpace:
            return IDC_CREPLSPACE;
        case Control::cRemSpace:
            return IDC_CREMSPACE;
        case Control::cReplUndr:
            return IDC_CREPLUNDR;
        case Control::cRemUndr:
            return IDC_CREMUNDR;
        case Control::cNonAlphaNum:
            return IDC_CNONALPHANUM;
        case Control::rNoChangeName:
            return IDC_RNOCHANGENAME;
        case Control::rUpperName:
            return IDC_RUPPERNAME;
        case Control::rLowerName:
            return IDC_RLOWERNAME;
        case Control::bOK:
            return IDOK;
    }
    return 0;
}

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

HFONT DerivedFont(HFONT base, bool bold, bool underline) {
    LOGFONTW font{};
    ::GetObjectW(base, sizeof font, &font);
    if (bold) {
        font.lfWeight = FW_BOLD;
    }
    font.lfUnderline = underline ? TRUE : FALSE;
    return ::CreateFontIndirectW(&font);
}

}  // namespace

TfTovana::TfTovana(HINSTANCE instance, HWND application, TovanaServices services)
    : services_(std::move(services)), application_(application) {
    window_ = ::CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_FTOVANA), application,
                                   &TfTovana::DialogProc, reinterpret_cast<LPARAM>(this));
    if (window_ == nullptr) {
        throw std::runtime_error("Cannot create the window");
    }
    imList_ = ::ImageList_Create(16, 16, ILC_COLOR16 | ILC_MASK, 3, 4);
    for (int id : {IDB_FOLDER, IDB_PAGE, IDB_FAILED}) {
        const HBITMAP picture = static_cast<HBITMAP>(
            ::LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        ::ImageList_AddMasked(imList_, picture, RGB(255, 0, 255));
        ::DeleteObject(picture);
    }
    const HFONT font = reinterpret_cast<HFONT>(::SendMessageW(window_, WM_GETFONT, 0, 0));
    boldFont_ = DerivedFont(font, true, false);
    linkFont_ = DerivedFont(font, false, true);
    ::SendDlgItemMessageW(window_, IDC_LABEL4, WM_SETFONT, reinterpret_cast<WPARAM>(boldFont_), 0);
    for (int id : {IDC_LAUTHOR, IDC_LWEB}) {
        ::SendDlgItemMessageW(window_, id, WM_SETFONT, reinterpret_cast<WPARAM>(linkFont_), 0);
    }
    PlaceControls();
    // The window's creation values that a description cannot hold.
    ::CheckRadioButton(window_, IDC_RNOCHANGENAME, IDC_RLOWERNAME, IDC_RNOCHANGENAME);
    ::SetFocus(::GetDlgItem(window_, IDC_EPATH));
    Guarded([this] { FormCreate(); });
}

TfTovana::~TfTovana() {
    if (window_ != nullptr) {
        ::DestroyWindow(window_);
    }
    ::ImageList_Destroy(imList_);
    ::DeleteObject(boldFont_);
    ::DeleteObject(linkFont_);
}

// Positions follow the font: when its text is not 13 pixels high, every position and size is
// scaled by the ratio; the list's rows and the pictures keep their size.
void TfTovana::PlaceControls() {
    const HDC dc = ::GetDC(window_);
    const HGDIOBJ old =
        ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(window_, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    ::SelectObject(dc, old);
    ::ReleaseDC(window_, dc);
    scale_ = metrics.tmHeight > 0 ? double(metrics.tmHeight) / kDesignTextHeight : 1.0;
    if (metrics.tmHeight == kDesignTextHeight) {
        scale_ = 1.0;
    }
    const auto scaled = [this](int value) { return static_cast<int>(value * scale_ + 0.5); };
    for (int i = 0; i < kControlPlaceCount; ++i) {
        const ControlPlace& place = kControlPlaces[i];
        ::MoveWindow(::GetDlgItem(window_, place.id), scaled(place.x), scaled(place.y),
                     scaled(place.width), scaled(place.height), FALSE);
    }
    // Labels grow to their text where the font needs it; links take its width exactly.
    for (int id :
         {IDC_LABEL1, IDC_LABEL2, IDC_LABEL3, IDC_LABEL4, IDC_LABEL5, IDC_LAUTHOR, IDC_LWEB}) {
        const HWND label = ::GetDlgItem(window_, id);
        const HDC labelDc = ::GetDC(label);
        const HGDIOBJ previous = ::SelectObject(
            labelDc, reinterpret_cast<HFONT>(::SendMessageW(label, WM_GETFONT, 0, 0)));
        const std::wstring text = WindowText(label);
        SIZE size{};
        ::GetTextExtentPoint32W(labelDc, text.c_str(), static_cast<int>(text.size()), &size);
        ::SelectObject(labelDc, previous);
        ::ReleaseDC(label, labelDc);
        RECT r{};
        ::GetWindowRect(label, &r);
        ::MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&r), 2);
        const bool link = id == IDC_LAUTHOR || id == IDC_LWEB;
        const int width = link ? size.cx : std::max<int>(size.cx, r.right - r.left);
        ::MoveWindow(label, r.left, r.top, width, r.bottom - r.top, FALSE);
    }
    RECT frame{0, 0, scaled(kClientWidth), scaled(kClientHeight)};
    ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongW(window_, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongW(window_, GWL_EXSTYLE)));
    ::SetWindowPos(window_, nullptr, 871, 227, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND TfTovana::Item(Control control) const {
    return ::GetDlgItem(window_, IdOf(control));
}

std::string TfTovana::Text(Control control) const {
    return Utf8FromWide(WindowText(Item(control)));
}

void TfTovana::SetText(Control control, const std::string& text) {
    const std::wstring wide = WideFromUtf8(text);
    if (WindowText(Item(control)) != wide) {
        ::SetWindowTextW(Item(control), wide.c_str());  // the edit reports EN_CHANGE
    }
}

bool TfTovana::Checked(Control control) const {
    return ::SendMessageW(Item(control), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// A changed check runs the box's click handler, as a click would; a radio button set on
// clears its two siblings.
void TfTovana::SetChecked(Control control, bool checked) {
    if (Checked(control) == checked) {
        return;
    }
    if (checked && (control == Control::rNoChangeName || control == Control::rUpperName ||
                    control == Control::rLowerName)) {
        ::CheckRadioButton(window_, IDC_RNOCHANGENAME, IDC_RLOWERNAME, IdOf(control));
        return;
    }
    ::SendMessageW(Item(control), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    if (control == Control::cReplSpace) {
        cReplSpaceClick();
    } else if (control == Control::cReplUndr) {
        cReplUndrClick();
    }
}

bool TfTovana::Enabled(Control control) const {
    return ::IsWindowEnabled(Item(control)) != 0;
}

void TfTovana::SetEnabled(Control control, bool enabled) {
    ::EnableWindow(Item(control), enabled ? TRUE : FALSE);
}

bool TfTovana::Guarded(const std::function<void()>& handler) {
    try {
        handler();
        return true;
    } catch (const std::exception& error) {
        services_.showMessage(application_, services_.applicationTitle,
                              WideFromUtf8(tovana::ErrorBoxText(error.what())),
                              MB_OK | MB_ICONSTOP);
    }
    return false;
}

std::wstring TfTovana::GetAppVersion() {
    wchar_t path[MAX_PATH];
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path, &handle);
    if (size == 0) {
        return L"";
    }
    std::string data(size, '\0');
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!::GetFileVersionInfoW(path, 0, size, data.data()) ||
        !::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) ||
        info == nullptr) {
        return L"";
    }
    return WideFromUtf8(
        tovana::AppVersionText(HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                               HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS)));
}

void TfTovana::FormCreate() {
    ::SetWindowTextW(window_, (WindowText(window_) + L"  " + GetAppVersion()).c_str());
    if (services_.settings != nullptr) {
        tovana::LoadSettings(*services_.settings, *this);
    }
}

void TfTovana::ePathChange() {
    tovana::PathChanged(*this);
}

void TfTovana::cReplSpaceClick() {
    tovana::ReplSpaceChanged(*this);
}

void TfTovana::cReplUndrClick() {
    tovana::ReplUndrChanged(*this);
}

void TfTovana::Button1Click() {
    std::wstring folder = WindowText(Item(Control::ePath));
    if (services_.selectFolder && services_.selectFolder(application_, folder)) {
        ::SetWindowTextW(Item(Control::ePath), folder.c_str());
    }
    ::SetFocus(Item(Control::cSubDir));
}

void TfTovana::bOKClick() {
    class ListSink : public tovana::RunSink {
      public:
        explicit ListSink(HWND list) : list_(list) {}
        void Append(const tovana::LogEntry& entry) override {
            const std::wstring text = WideFromUtf8(entry.Path);
            const LRESULT row =
                ::SendMessageW(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
            if (row == LB_ERR || row == LB_ERRSPACE) {
                throw std::runtime_error("Unable to insert a line");
            }
            ::SendMessageW(list_, LB_SETITEMDATA, static_cast<WPARAM>(row), entry.Kind);
        }

      private:
        HWND list_;
    };

    const tovana::RenameOptions options = tovana::OptionsFromControls(*this);
    ListSink sink(::GetDlgItem(window_, IDC_LBMESSAGE));
    const HCURSOR previous = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    try {
        tovana::Run(options, *services_.fileSystem, sink, counters_);
    } catch (...) {
        ::SetCursor(previous);
        throw;
    }
    ::SetCursor(previous);
    services_.showMessage(application_, L"Výsledek přejmenování",
                          WideFromUtf8(tovana::SummaryText(counters_)), MB_OK);
}

void TfTovana::lbMessageDrawItem(const DRAWITEMSTRUCT& item) {
    if (item.itemID == static_cast<UINT>(-1)) {
        return;
    }
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    const COLORREF fill = ::GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW);
    const HBRUSH brush = ::CreateSolidBrush(fill);
    ::FillRect(item.hDC, &item.rcItem, brush);
    ::DeleteObject(brush);
    const int kind = static_cast<int>(item.itemData);
    ::ImageList_Draw(imList_, kind, item.hDC, item.rcItem.left + 2, item.rcItem.top,
                     ILD_TRANSPARENT);
    const LRESULT length = ::SendMessageW(item.hwndItem, LB_GETTEXTLEN, item.itemID, 0);
    std::wstring text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
    ::SendMessageW(item.hwndItem, LB_GETTEXT, item.itemID, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length > 0 ? length : 0));
    ::SetBkColor(item.hDC, fill);
    ::SetTextColor(item.hDC, ::GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    ::ExtTextOutW(item.hDC, item.rcItem.left + 20, item.rcItem.top + 2, ETO_CLIPPED, &item.rcItem,
                  text.c_str(), static_cast<UINT>(text.size()), nullptr);
    if ((item.itemState & ODS_FOCUS) != 0) {
        ::DrawFocusRect(item.hDC, &item.rcItem);
    }
}

void TfTovana::lAuthorClick() {
    if (services_.openAddress) {
        services_.openAddress(std::wstring(L"MailTo:") + kSupportMail +
                              L"?Subject=Pripominky%20k%20Tovana");
    }
}

void TfTovana::lWebClick() {
    if (services_.openAddress) {
        services_.openAddress(std::wstring(L"http://") + kWebHost);
    }
}

void TfTovana::bCancelClick() {
    ::SendMessageW(window_, WM_CLOSE, 0, 0);
}

bool TfTovana::FormCloseQuery() {
    return Guarded([this] {
        if (services_.settings != nullptr) {
            tovana::SaveSettings(*services_.settings, *this);
        }
    });
}

INT_PTR CALLBACK TfTovana::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        reinterpret_cast<TfTovana*>(lParam)->window_ = window;
        return FALSE;  // the focus is set by the constructor
    }
    auto* form = reinterpret_cast<TfTovana*>(::GetWindowLongPtrW(window, DWLP_USER));
    return form != nullptr ? form->HandleMessage(message, wParam, lParam) : FALSE;
}

INT_PTR TfTovana::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            if (id == IDC_EPATH && code == EN_CHANGE) {
                ePathChange();
            } else if (id == IDC_BUTTON1 && code == BN_CLICKED) {
                Guarded([this] { Button1Click(); });
            } else if (id == IDC_CREPLSPACE && code == BN_CLICKED) {
                cReplSpaceClick();
            } else if (id == IDC_CREPLUNDR && code == BN_CLICKED) {
                cReplUndrClick();
            } else if (id == IDOK && ::IsWindowEnabled(::GetDlgItem(window_, IDOK))) {
                Guarded([this] { bOKClick(); });
            } else if (id == IDCANCEL) {
                bCancelClick();
            } else if (id == IDC_LAUTHOR && code == STN_CLICKED) {
                lAuthorClick();
            } else if (id == IDC_LWEB && code == STN_CLICKED) {
                lWebClick();
            }
            return TRUE;
        }
        case WM_MEASUREITEM:
            reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = kRowHeight;
            return TRUE;
        case WM_DRAWITEM:
            if (wParam == IDC_LBMESSAGE) {
                lbMessageDrawItem(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
                return TRUE;
            }
            return FALSE;
        case WM_CTLCOLORSTATIC: {
            const HWND control = reinterpret_cast<HWND>(lParam);
            const HDC dc = reinterpret_cast<HDC>(wParam);
            const int id = ::GetDlgCtrlID(control);
            if (id == IDC_PANEL1 || id == IDC_LABEL4) {
                ::SetBkColor(dc, ::GetSysColor(COLOR_CAPTIONTEXT));
                return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_CAPTIONTEXT));
            }
            if (id == IDC_LAUTHOR || id == IDC_LWEB) {
                ::SetTextColor(dc, ::GetSysColor(COLOR_HOTLIGHT));
                ::SetBkMode(dc, TRANSPARENT);
                return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_BTNFACE));
            }
            return FALSE;
        }
        case WM_SETCURSOR: {
            const int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(wParam));
            if (id == IDC_LAUTHOR || id == IDC_LWEB) {
                ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
                ::SetWindowLongPtrW(window_, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        }
        case WM_CLOSE:
            if (FormCloseQuery()) {
                const HWND window = window_;
                window_ = nullptr;
                ::DestroyWindow(window);
            }
            return TRUE;
        case WM_DESTROY:
            ::PostQuitMessage(0);  // closing the window ends the program
            return FALSE;
        case WM_QUERYENDSESSION:
            FormCloseQuery();
            ::SetWindowLongPtrW(window_, DWLP_MSGRESULT, TRUE);
            return TRUE;
        default:
            return FALSE;
    }
}
