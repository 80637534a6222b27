#include "ui/win32/uTovanaWin32.h"

#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "names/WideText.h"
#include "ui/win32/SelectFolderWin32.h"
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

const wchar_t kMainWindowProperty[] = L"TovanaMainWindow";

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
        case Control::bCancel:
            return IDCANCEL;
        case Control::Button1:
            return IDC_BUTTON1;
        case Control::lbMessage:
            return IDC_LBMESSAGE;
    }
    return 0;
}

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

HFONT FontOf(HWND window) {
    return reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0));
}

// The size of `text` in the font `window` draws with.
SIZE TextExtent(HWND window, const std::wstring& text) {
    const HDC dc = ::GetDC(window);
    const HGDIOBJ previous = ::SelectObject(dc, FontOf(window));
    SIZE size{};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    ::SelectObject(dc, previous);
    ::ReleaseDC(window, dc);
    return size;
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

RECT PlaceIn(HWND control, HWND parent) {
    RECT r{};
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Room a check box or radio button needs beside its box and caption: the gap between them and
// the focus frame round the caption.
constexpr int kCaptionGap = 6;
// Room between a label grown to its text and the field beside it.
constexpr int kLabelGap = 4;

int CaptionWidth(HWND box) {
    std::wstring caption = WindowText(box);
    caption.erase(std::remove(caption.begin(), caption.end(), L'&'), caption.end());
    return static_cast<int>(TextExtent(box, caption).cx) + ::GetSystemMetrics(SM_CXMENUCHECK) +
           kCaptionGap;
}

tovana::Rgb RgbOf(COLORREF c) {
    return {GetRValue(c), GetGValue(c), GetBValue(c)};
}

// Activating the application's window (after a box or the browser it owns, or from its
// task-bar button) hands the activation on to the main window, which restores its focus.
constexpr UINT kActivateMain = WM_APP + 1;
// To the main window: a call posted from a run's thread (LPARAM: a std::function<void()>* that
// the window deletes), and Esc pressed during a run.
constexpr UINT kRunCall = WM_APP + 2;
constexpr UINT kAskToStop = WM_APP + 3;

LRESULT CALLBACK ApplicationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto main = static_cast<HWND>(::GetPropW(window, kMainWindowProperty));
    switch (message) {
        case WM_CLOSE:
            // Alt+F4 on this window ends the program the way the main window's close does.
            if (main != nullptr && ::IsWindow(main)) {
                ::SendMessageW(main, WM_CLOSE, 0, 0);
            }
            return 0;
        case WM_QUERYENDSESSION:
            return main != nullptr && ::IsWindow(main)
                       ? ::SendMessageW(main, message, wParam, lParam)
                       : TRUE;
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE) {
                ::PostMessageW(window, kActivateMain, 0, 0);
            }
            return 0;
        case kActivateMain:
            if (main != nullptr && ::IsWindow(main) && ::IsWindowEnabled(main) &&
                ::IsWindowVisible(main) && ::GetActiveWindow() == window) {
                ::SetActiveWindow(main);
            }
            return 0;
        case WM_DESTROY:
            ::RemovePropW(window, kMainWindowProperty);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

struct DisabledWindows {
    std::vector<HWND> windows;
    HWND keep;
};

BOOL CALLBACK DisableWindow(HWND window, LPARAM data) {
    auto* disabled = reinterpret_cast<DisabledWindows*>(data);
    if (window != disabled->keep && ::IsWindowVisible(window) && ::IsWindowEnabled(window)) {
        disabled->windows.push_back(window);
        ::EnableWindow(window, FALSE);
    }
    return TRUE;
}

// A box about to be shown: the window it is centred over, and the hook that catches it.
struct BoxPlacement {
    HWND over;
    HHOOK hook;
};
thread_local BoxPlacement* placingBox = nullptr;

// Widens `box` so that its title is whole beside the close button, its contents moved along to
// stay centred, then centres it over `over`, wholly on the screen that window is on.
void FitAndCentreBox(HWND box, HWND over) {
    RECT frame{};
    ::GetWindowRect(box, &frame);
    RECT client{};
    ::GetClientRect(box, &client);
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    const OwnedFont captionFont(::CreateFontIndirectW(&metrics.lfCaptionFont));
    const std::wstring title = WindowText(box);
    const HDC dc = ::GetDC(box);
    const HGDIOBJ previous = ::SelectObject(dc, captionFont.get());
    SIZE titleSize{};
    ::GetTextExtentPoint32W(dc, title.c_str(), static_cast<int>(title.size()), &titleSize);
    ::SelectObject(dc, previous);
    ::ReleaseDC(box, dc);
    const int borders = (frame.right - frame.left) - (client.right - client.left);
    // The caption's own margins: before the title, between it and the close button, after it.
    const int margins = 3 * ::GetSystemMetrics(SM_CXEDGE) + 8;
    const int needed = borders + titleSize.cx + metrics.iCaptionWidth + margins;
    int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    if (width < needed) {
        const int shift = (needed - width) / 2;
        for (HWND child = ::GetWindow(box, GW_CHILD); child != nullptr;
             child = ::GetWindow(child, GW_HWNDNEXT)) {
            const RECT r = PlaceIn(child, box);
            ::SetWindowPos(child, nullptr, r.left + shift, r.top, 0, 0,
                           SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
        width = needed;
    }
    RECT target{};
    ::GetWindowRect(over, &target);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(over, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    int x = target.left + ((target.right - target.left) - width) / 2;
    int y = target.top + ((target.bottom - target.top) - height) / 2;
    x = std::max<int>(work.left, std::min<int>(x, work.right - width));
    y = std::max<int>(work.top, std::min<int>(y, work.bottom - height));
    ::SetWindowPos(box, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

// Catches the box as it is activated: its size is known by then, and it is not seen yet.
LRESULT CALLBACK PlaceBoxHook(int code, WPARAM wParam, LPARAM lParam) {
    BoxPlacement* placing = placingBox;
    if (code == HCBT_ACTIVATE && placing != nullptr) {
        const auto box = reinterpret_cast<HWND>(wParam);
        wchar_t className[16] = {};
        ::GetClassNameW(box, className, 16);
        if (std::wstring(className) == L"#32770") {
            placingBox = nullptr;  // the box's own windows are left alone
            FitAndCentreBox(box, placing->over);
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

HWND CreateApplicationWindow(HINSTANCE instance, const std::wstring& title) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = ApplicationProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = ::LoadIconW(instance, L"MAINICON");
    windowClass.lpszClassName = L"TApplication";
    ::RegisterClassExW(&windowClass);
    const int x = ::GetSystemMetrics(SM_CXSCREEN) / 2;
    const int y = ::GetSystemMetrics(SM_CYSCREEN) / 2;
    return ::CreateWindowExW(0, L"TApplication", title.c_str(),
                             WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                             x, y, 0, 0, nullptr, nullptr, instance, nullptr);
}

// The box's owner disables itself; the other windows of the program are disabled here, so that
// no click reaches the main window under an open box, and enabled again afterwards.
int ShowProgramModalBox(HWND owner, const std::wstring& title, const std::wstring& text,
                        UINT flags) {
    const HWND active = ::GetActiveWindow();
    const HWND focus = ::GetFocus();
    DisabledWindows disabled{{}, owner};
    ::EnumThreadWindows(::GetCurrentThreadId(), DisableWindow, reinterpret_cast<LPARAM>(&disabled));
    // The box opens centred over the main window, when the owner stands for one.
    const auto main = static_cast<HWND>(::GetPropW(owner, kMainWindowProperty));
    BoxPlacement placement{main != nullptr && ::IsWindow(main) ? main : owner, nullptr};
    placement.hook = ::SetWindowsHookExW(WH_CBT, PlaceBoxHook, nullptr, ::GetCurrentThreadId());
    BoxPlacement* const outer = placingBox;
    placingBox = &placement;
    const int answer = ::MessageBoxW(owner, text.c_str(), title.c_str(), flags);
    placingBox = outer;
    if (placement.hook != nullptr) {
        ::UnhookWindowsHookEx(placement.hook);
    }
    for (HWND window : disabled.windows) {
        if (::IsWindow(window)) {
            ::EnableWindow(window, TRUE);
        }
    }
    if (active != nullptr && ::IsWindow(active)) {
        ::SetActiveWindow(active);
    }
    if (focus != nullptr && ::IsWindow(focus)) {
        ::SetFocus(focus);
    }
    return answer;
}

TfTovana::TfTovana(HINSTANCE instance, HWND application, TovanaServices services)
    : services_(std::move(services)),
      form_(*this, {.fileSystem = services_.fileSystem,
                    .settings = services_.settings,
                    .journals = services_.journals,
                    .homeFolder = Utf8FromWide(services_.homeFolder),
                    .applicationTitle = Utf8FromWide(services_.applicationTitle),
                    .version = GetAppVersion()}),
      application_(application) {
    window_ = ::CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_FTOVANA), application,
                                   &TfTovana::DialogProc, reinterpret_cast<LPARAM>(this));
    if (window_ == nullptr) {
        throw std::runtime_error("Cannot create the window");
    }
    ::SetPropW(application_, kMainWindowProperty, window_);
    imList_.reset(::ImageList_Create(tovana::kPictureSize, tovana::kPictureSize,
                                     ILC_COLOR16 | ILC_MASK, 3, 4));
    for (int id : {IDB_FOLDER, IDB_PAGE, IDB_FAILED}) {
        const OwnedBitmap picture(static_cast<HBITMAP>(
            ::LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
        ::ImageList_AddMasked(imList_.get(), picture.get(), RGB(255, 0, 255));
    }
    // The title bar and the task switcher show the program's icon.
    bigIcon_.reset(static_cast<HICON>(::LoadImageW(instance, L"MAINICON", IMAGE_ICON,
                                                   ::GetSystemMetrics(SM_CXICON),
                                                   ::GetSystemMetrics(SM_CYICON), 0)));
    smallIcon_.reset(static_cast<HICON>(::LoadImageW(instance, L"MAINICON", IMAGE_ICON,
                                                     ::GetSystemMetrics(SM_CXSMICON),
                                                     ::GetSystemMetrics(SM_CYSMICON), 0)));
    ::SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
    ::SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));

    const HFONT font = FontOf(window_);
    boldFont_.reset(DerivedFont(font, true, false));
    linkFont_.reset(DerivedFont(font, false, true));
    ::SendDlgItemMessageW(window_, IDC_LABEL4, WM_SETFONT,
                          reinterpret_cast<WPARAM>(boldFont_.get()), 0);
    for (int id : {IDC_LAUTHOR, IDC_LWEB}) {
        ::SendDlgItemMessageW(window_, id, WM_SETFONT, reinterpret_cast<WPARAM>(linkFont_.get()),
                              0);
    }
    // The fixed-height list asks for its row height before the window knows itself, so the
    // height is set here: 16 pixels, or what the list's text needs.
    const HWND list = ::GetDlgItem(window_, IDC_LBMESSAGE);
    ::SendMessageW(list, LB_SETITEMHEIGHT, 0,
                   tovana::RowHeight(static_cast<int>(TextExtent(list, L"0").cy)));
    PlaceControls();
    // Each row's tooltip: the tool is the whole list, its text asked for when it shows.
    tooltip_ = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0,
                                 window_, nullptr, instance, nullptr);
    if (tooltip_ != nullptr) {
        TOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = window_;
        tool.uId = reinterpret_cast<UINT_PTR>(list);
        tool.lpszText = LPSTR_TEXTCALLBACKW;
        ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        ::SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 600);
        ::SetWindowSubclass(list, &TfTovana::ListProc, 1, reinterpret_cast<DWORD_PTR>(this));
    }
    // The window's creation values that a description cannot hold.
    ::CheckRadioButton(window_, IDC_RNOCHANGENAME, IDC_RLOWERNAME, IDC_RNOCHANGENAME);
    ::SetFocus(::GetDlgItem(window_, IDC_EPATH));
    // A folder dragged from Explorer onto the window fills the folder field.
    ::DragAcceptFiles(window_, TRUE);
    form_.FormCreate();
}

TfTovana::~TfTovana() {
    // A run still going ends first: its thread posts to this window.
    form_.StopRunAndWait();
    if (window_ != nullptr) {
        ::RemoveWindowSubclass(::GetDlgItem(window_, IDC_LBMESSAGE), &TfTovana::ListProc, 1);
        ::DestroyWindow(window_);
    }
    if (::IsWindow(application_)) {
        ::RemovePropW(application_, kMainWindowProperty);
    }
    // The fonts, brush, pictures and icons go with their owners, after the window that used them.
}

// Positions follow the font: when its text is not 13 pixels high, every position and size is
// scaled by the ratio; the list's rows and the pictures keep their size.
void TfTovana::PlaceControls() {
    const HDC dc = ::GetDC(window_);
    const HGDIOBJ old = ::SelectObject(dc, FontOf(window_));
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    ::SelectObject(dc, old);
    ::ReleaseDC(window_, dc);
    scale_ = metrics.tmHeight > 0 ? double(metrics.tmHeight) / tovana::kDesignTextHeight : 1.0;
    if (metrics.tmHeight == tovana::kDesignTextHeight) {
        scale_ = 1.0;
    }
    const auto scaled = [this](int value) { return static_cast<int>(value * scale_ + 0.5); };
    for (int i = 0; i < kControlPlaceCount; ++i) {
        const ControlPlace& place = kControlPlaces[i];
        ::MoveWindow(::GetDlgItem(window_, place.id), scaled(place.x), scaled(place.y),
                     scaled(place.width), scaled(place.height), FALSE);
    }
    FitCaptions();
    RECT frame{0, 0, scaled(tovana::kClientWidth), scaled(tovana::kClientHeight)};
    ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongW(window_, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongW(window_, GWL_EXSTYLE)));
    // The designed place, moved just enough for the window to lie on the work area.
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const tovana::ScreenRect at = tovana::PlaceOnScreen(
        {tovana::kWindowLeft, tovana::kWindowTop, frame.right - frame.left,
         frame.bottom - frame.top},
        {work.left, work.top, work.right - work.left, work.bottom - work.top});
    ::SetWindowPos(window_, nullptr, at.left, at.top, at.width, at.height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

// Labels, check boxes and radio buttons grow to their captions where the font needs it, a
// group box's contents up to its inner edge; links take their text's width exactly.
void TfTovana::FitCaptions() {
    for (int id :
         {IDC_LABEL1, IDC_LABEL2, IDC_LABEL3, IDC_LABEL4, IDC_LABEL5, IDC_LAUTHOR, IDC_LWEB}) {
        const HWND label = ::GetDlgItem(window_, id);
        const SIZE size = TextExtent(label, WindowText(label));
        const RECT r = PlaceIn(label, window_);
        const bool link = id == IDC_LAUTHOR || id == IDC_LWEB;
        const int width = link ? size.cx : std::max<int>(size.cx, r.right - r.left);
        ::MoveWindow(label, r.left, r.top, width, r.bottom - r.top, FALSE);
    }
    const int gap = static_cast<int>(kLabelGap * scale_ + 0.5);
    // The web link keeps clear of OK: where its text runs into the button, it moves left, no
    // further than just after the author's link.
    const HWND web = ::GetDlgItem(window_, IDC_LWEB);
    const RECT webPlace = PlaceIn(web, window_);
    const RECT ok = PlaceIn(::GetDlgItem(window_, IDOK), window_);
    if (webPlace.right + gap > ok.left) {
        const RECT author = PlaceIn(::GetDlgItem(window_, IDC_LAUTHOR), window_);
        const int width = webPlace.right - webPlace.left;
        const int left = std::max<int>(author.right + gap, ok.left - gap - width);
        ::MoveWindow(web, left, webPlace.top, width, webPlace.bottom - webPlace.top, FALSE);
    }
    // A field starts after its label, however wide the font makes the label: it gives up room
    // on its left and keeps its right edge.
    struct Labelled {
        int label;
        int field;
    };
    for (const Labelled& labelled :
         {Labelled{IDC_LABEL1, IDC_EPATH}, Labelled{IDC_LABEL2, IDC_EMASK}}) {
        const HWND field = ::GetDlgItem(window_, labelled.field);
        const RECT label = PlaceIn(::GetDlgItem(window_, labelled.label), window_);
        const RECT r = PlaceIn(field, window_);
        if (label.right + gap > r.left) {
            ::MoveWindow(field, label.right + gap, r.top, r.right - label.right - gap,
                         r.bottom - r.top, FALSE);
        }
    }
    struct Boxed {
        int id;
        int group;
    };
    const Boxed boxes[] = {
        {IDC_CSUBDIR, IDC_GROUPBOX1},    {IDC_CRENDIR, IDC_GROUPBOX3},
        {IDC_CREPLSPACE, IDC_GROUPBOX3}, {IDC_CNONALPHANUM, IDC_GROUPBOX3},
        {IDC_CREMUNDR, IDC_GROUPBOX3},   {IDC_CREPLUNDR, IDC_GROUPBOX3},
        {IDC_CREMSPACE, IDC_GROUPBOX3},  {IDC_RNOCHANGENAME, IDC_GROUPBOX2},
        {IDC_RUPPERNAME, IDC_GROUPBOX2}, {IDC_RLOWERNAME, IDC_GROUPBOX2},
    };
    for (const Boxed& boxed : boxes) {
        const HWND box = ::GetDlgItem(window_, boxed.id);
        const RECT r = PlaceIn(box, window_);
        const RECT group = PlaceIn(::GetDlgItem(window_, boxed.group), window_);
        const int needed = CaptionWidth(box);
        const int room = group.right - 2 - r.left;
        const int width = std::max<int>(r.right - r.left, std::min(needed, room));
        ::MoveWindow(box, r.left, r.top, width, r.bottom - r.top, FALSE);
    }
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
        form_.cReplSpaceClick();
    } else if (control == Control::cReplUndr) {
        form_.cReplUndrClick();
    }
}

bool TfTovana::Enabled(Control control) const {
    return ::IsWindowEnabled(Item(control)) != 0;
}

void TfTovana::SetEnabled(Control control, bool enabled) {
    ::EnableWindow(Item(control), enabled ? TRUE : FALSE);
}

void TfTovana::SetFocus(Control control) {
    ::SetFocus(Item(control));
}

std::optional<Control> TfTovana::Focus() const {
    const HWND focused = ::GetFocus();
    for (int i = 0; i <= static_cast<int>(Control::lbMessage); ++i) {
        if (focused != nullptr && Item(static_cast<Control>(i)) == focused) {
            return static_cast<Control>(i);
        }
    }
    return std::nullopt;
}

std::string TfTovana::Caption() const {
    return Utf8FromWide(WindowText(window_));
}

void TfTovana::SetCaption(const std::string& caption) {
    ::SetWindowTextW(window_, WideFromUtf8(caption).c_str());
}

bool TfTovana::AppendRow(tovana::LogEntry entry, bool preview) {
    const HWND list = ::GetDlgItem(window_, IDC_LBMESSAGE);
    if (!rowsHeld_) {
        // The list redraws once for the whole batch (see RowsAppended).
        rowsHeld_ = true;
        ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    }
    rows_.push_back({std::move(entry), preview});
    const std::wstring text = WideFromUtf8(tovana::RowText(rows_.back()));
    const LRESULT row =
        ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (row == LB_ERR || row == LB_ERRSPACE) {
        rows_.pop_back();
        return false;
    }
    ::SendMessageW(list, LB_SETITEMDATA, static_cast<WPARAM>(row),
                   reinterpret_cast<LPARAM>(&rows_.back()));
    return true;
}

std::size_t TfTovana::RowCount() const {
    return rows_.size();
}

tovana::ResultRow TfTovana::Row(std::size_t index) const {
    return rows_.at(index);
}

std::vector<std::size_t> TfTovana::SelectedRows() const {
    const LRESULT row = ::SendDlgItemMessageW(window_, IDC_LBMESSAGE, LB_GETCURSEL, 0, 0);
    if (row == LB_ERR) {
        return {};
    }
    return {static_cast<std::size_t>(row)};
}

void TfTovana::CopyText(const std::string& text) {
    std::wstring wide;
    for (const wchar_t c : WideFromUtf8(text)) {
        if (c == L'\n') {
            wide += L'\r';  // the clipboard's text ends its lines with CR LF
        }
        wide += c;
    }
    if (!::OpenClipboard(window_)) {
        throw std::runtime_error("Unable to open the clipboard");
    }
    ::EmptyClipboard();
    const std::size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (memory != nullptr) {
        std::memcpy(::GlobalLock(memory), wide.c_str(), bytes);
        ::GlobalUnlock(memory);
        if (::SetClipboardData(CF_UNICODETEXT, memory) == nullptr) {
            ::GlobalFree(memory);
        }
    }
    ::CloseClipboard();
}

void TfTovana::ShowFolder(const std::string& folder) {
    const std::wstring wide = WideFromUtf8(folder);
    if (services_.openAddress) {
        services_.openAddress(wide);
    } else {
        ::ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }
}

namespace {

constexpr UINT kFirstMenuCommand = 100;

}  // namespace

void TfTovana::lbMessageContextPopup(POINT at) {
    const HWND list = ::GetDlgItem(window_, IDC_LBMESSAGE);
    if (at.x == -1 && at.y == -1) {
        RECT row{};
        const LRESULT caret = ::SendMessageW(list, LB_GETCARETINDEX, 0, 0);
        if (caret == LB_ERR || ::SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(caret),
                                              reinterpret_cast<LPARAM>(&row)) == LB_ERR) {
            ::GetClientRect(list, &row);
            row.bottom = row.top;
        }
        at = {row.left + 20, (row.top + row.bottom) / 2};
        ::ClientToScreen(list, &at);
    } else {
        // A right click acts on the row under the mouse: it is selected before the menu opens.
        POINT inList = at;
        ::ScreenToClient(list, &inList);
        const LRESULT hit =
            ::SendMessageW(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(inList.x, inList.y));
        if (HIWORD(hit) == 0 &&
            ::SendMessageW(list, LB_GETCURSEL, 0, 0) != static_cast<LRESULT>(LOWORD(hit))) {
            ::SendMessageW(list, LB_SETCURSEL, LOWORD(hit), 0);
        }
    }
    // The row's tooltip would cover the menu.
    if (tooltip_ != nullptr) {
        ::SendMessageW(tooltip_, TTM_POP, 0, 0);
        ::SendMessageW(tooltip_, TTM_ACTIVATE, FALSE, 0);
    }
    const HMENU menu = ::CreatePopupMenu();
    const std::vector<tovana::MenuItem> items = form_.lbMessageMenu();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].command == tovana::MenuCommand::Copy) {
            ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        }
        std::wstring text = WideFromUtf8(items[i].text);
        if (!items[i].shortcut.empty()) {
            text += L"\t" + WideFromUtf8(items[i].shortcut);
        }
        ::AppendMenuW(menu, MF_STRING | (items[i].enabled ? MF_ENABLED : MF_GRAYED),
                      kFirstMenuCommand + i, text.c_str());
    }
    const UINT chosen =
        services_.trackMenu
            ? services_.trackMenu(menu, at)
            : static_cast<UINT>(::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y,
                                                 0, window_, nullptr));
    ::DestroyMenu(menu);
    if (tooltip_ != nullptr) {
        ::SendMessageW(tooltip_, TTM_ACTIVATE, TRUE, 0);
    }
    if (chosen >= kFirstMenuCommand && chosen < kFirstMenuCommand + items.size()) {
        form_.lbMessageCommand(items[chosen - kFirstMenuCommand].command);
    }
}

void TfTovana::lbMessageTooltipText(NMTTDISPINFOW& info) {
    tooltipText_.clear();
    if (tooltipRow_ >= 0 && static_cast<std::size_t>(tooltipRow_) < rows_.size()) {
        tooltipText_ =
            WideFromUtf8(tovana::RowTooltip(rows_[static_cast<std::size_t>(tooltipRow_)]));
    }
    info.lpszText = tooltipText_.data();
}

// Follows the mouse over the list so that the tooltip changes with the row under it.
LRESULT CALLBACK TfTovana::ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                    DWORD_PTR self) {
    auto* form = reinterpret_cast<TfTovana*>(self);
    if (message == WM_MOUSEMOVE && form->tooltip_ != nullptr) {
        const LRESULT hit = ::SendMessageW(list, LB_ITEMFROMPOINT, 0, lParam);
        const int row = HIWORD(hit) != 0 ? -1 : static_cast<int>(LOWORD(hit));
        if (row != form->tooltipRow_) {
            form->tooltipRow_ = row;
            ::SendMessageW(form->tooltip_, TTM_POP, 0, 0);
            ::SendMessageW(form->tooltip_, TTM_ACTIVATE, row >= 0, 0);
        }
    }
    return ::DefSubclassProc(list, message, wParam, lParam);
}

void TfTovana::RowsAppended() {
    if (!rowsHeld_) {
        return;
    }
    rowsHeld_ = false;
    const HWND list = ::GetDlgItem(window_, IDC_LBMESSAGE);
    ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list, nullptr, TRUE);
}

// While a run goes on the window paints and moves, but its controls take no input: the form
// greys them out, and the loop (HandleKeys) swallows the keys and clicks meant for them besides
// (the list's too). Esc and the cancel button ask whether to stop the run, the close button
// asks through the close query.
void TfTovana::SetBusy(bool busy) {
    busy_ = busy;
    if (busy) {
        busyPrevious_ = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    } else {
        ::SetCursor(busyPrevious_);
    }
}

void TfTovana::PostToUi(std::function<void()> call) {
    auto* posted = new std::function<void()>(std::move(call));
    if (window_ == nullptr ||
        ::PostMessageW(window_, kRunCall, 0, reinterpret_cast<LPARAM>(posted)) == 0) {
        delete posted;
    }
}

tovana::BoxAnswer TfTovana::ShowBox(const tovana::Box& box) {
    if (services_.showBox) {
        return services_.showBox(box);
    }
    UINT flags = box.buttons == tovana::BoxButtons::YesNo ? MB_YESNO : MB_OK;
    if (box.buttons == tovana::BoxButtons::YesNo && box.defaultNo) {
        flags |= MB_DEFBUTTON2;
    }
    if (box.icon == tovana::BoxIcon::Stop) {
        flags |= MB_ICONSTOP;
    }
    const int answer =
        ShowProgramModalBox(application_, WideFromUtf8(box.title), WideFromUtf8(box.text), flags);
    return answer == IDYES  ? tovana::BoxAnswer::Yes
           : answer == IDNO ? tovana::BoxAnswer::No
                            : tovana::BoxAnswer::Ok;
}

bool TfTovana::PickFolder(std::string& folder) {
    std::wstring chosen = WideFromUtf8(folder);
    const bool confirmed = services_.selectFolder ? services_.selectFolder(application_, chosen)
                                                  : SelectFolder(application_, L"", L"", chosen);
    if (confirmed) {
        folder = Utf8FromWide(chosen);
    }
    return confirmed;
}

void TfTovana::OpenAddress(const std::string& address) {
    const std::wstring wide = WideFromUtf8(address);
    if (services_.openAddress) {
        services_.openAddress(wide);
    } else {
        ::ShellExecuteW(nullptr, L"Open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }
}

void TfTovana::Close() {
    ::SendMessageW(window_, WM_CLOSE, 0, 0);
}

std::string TfTovana::GetAppVersion() {
    wchar_t path[MAX_PATH];
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path, &handle);
    if (size == 0) {
        return "";
    }
    std::string data(size, '\0');
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!::GetFileVersionInfoW(path, 0, size, data.data()) ||
        !::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) ||
        info == nullptr) {
        return "";
    }
    return tovana::AppVersionText(HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                                  HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
}

// The list without rows still draws its focus: it asks for row -1 then.
void TfTovana::lbMessageDrawItem(const DRAWITEMSTRUCT& item) {
    if (item.itemID == static_cast<UINT>(-1)) {
        if ((item.itemState & ODS_FOCUS) != 0) {
            ::FillRect(item.hDC, &item.rcItem, ::GetSysColorBrush(COLOR_WINDOW));
            ::DrawFocusRect(item.hDC, &item.rcItem);
        }
        return;
    }
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    const COLORREF fill = ::GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW);
    const OwnedBrush brush(::CreateSolidBrush(fill));
    ::FillRect(item.hDC, &item.rcItem, brush.get());
    const auto* row = reinterpret_cast<const tovana::ResultRow*>(item.itemData);
    const int kind = row != nullptr ? static_cast<int>(row->Entry.Kind) : 0;
    const bool preview = row != nullptr && row->Preview;
    ::ImageList_Draw(imList_.get(), kind, item.hDC, item.rcItem.left + 2, item.rcItem.top,
                     ILD_TRANSPARENT);
    const LRESULT length = ::SendMessageW(item.hwndItem, LB_GETTEXTLEN, item.itemID, 0);
    std::wstring text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
    ::SendMessageW(item.hwndItem, LB_GETTEXT, item.itemID, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length > 0 ? length : 0));
    ::SetBkColor(item.hDC, fill);
    // A preview's rows are greyed: nothing was renamed for them.
    ::SetTextColor(item.hDC, ::GetSysColor(selected  ? COLOR_HIGHLIGHTTEXT
                                           : preview ? COLOR_GRAYTEXT
                                                     : COLOR_WINDOWTEXT));
    ::ExtTextOutW(item.hDC, item.rcItem.left + 20, item.rcItem.top + 2, ETO_CLIPPED, &item.rcItem,
                  text.c_str(), static_cast<UINT>(text.size()), nullptr);
    if ((item.itemState & ODS_FOCUS) != 0) {
        ::DrawFocusRect(item.hDC, &item.rcItem);
    }
}

bool TfTovana::HandleKeys(MSG& message) {
    if (window_ == nullptr) {
        return false;
    }
    if (busy_ && (message.hwnd == window_ || ::IsChild(window_, message.hwnd))) {
        const UINT m = message.message;
        const bool keys = m >= WM_KEYFIRST && m <= WM_KEYLAST;
        const bool clicks = m >= WM_LBUTTONDOWN && m <= WM_MOUSELAST;
        if (m == WM_KEYDOWN && message.wParam == VK_ESCAPE && (message.lParam & (1 << 30)) == 0) {
            ::PostMessageW(window_, kAskToStop, 0, 0);
        }
        const bool altF4 = m == WM_SYSKEYDOWN && message.wParam == VK_F4;
        // The cancel button stays live: clicked, or pressed with Space or Enter, it asks too.
        const bool cancel = message.hwnd == ::GetDlgItem(window_, IDCANCEL) &&
                            !(keys && message.wParam == VK_ESCAPE);
        if (((keys && !altF4) || clicks) && !cancel) {
            return true;
        }
    }
    const bool key = message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN ||
                     message.message == WM_CHAR || message.message == WM_SYSCHAR;
    const auto down = [](int virtualKey) { return (::GetKeyState(virtualKey) & 0x8000) != 0; };
    // Shift+F10 and the menu key open the list's menu at its current row. The system would
    // make that of the key's release; taking both press and release here shows it once.
    const bool menuKey = message.wParam == VK_APPS || (message.wParam == VK_F10 && down(VK_SHIFT));
    if (menuKey && message.hwnd == ::GetDlgItem(window_, IDC_LBMESSAGE)) {
        if (message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN) {
            lbMessageContextPopup({-1, -1});
            return true;
        }
        if (message.message == WM_KEYUP || message.message == WM_SYSKEYUP) {
            return true;
        }
    }
    if (message.message == WM_KEYDOWN && ::IsChild(window_, message.hwnd) && !down(VK_SHIFT) &&
        !down(VK_MENU)) {
        const bool control = down(VK_CONTROL);
        const bool inList = message.hwnd == ::GetDlgItem(window_, IDC_LBMESSAGE);
        if (message.wParam == VK_F5 && !control) {
            form_.lbMessageCommand(tovana::MenuCommand::Preview);
            return true;
        }
        if (inList && control && message.wParam == 'C') {
            form_.lbMessageCommand(tovana::MenuCommand::Copy);
            return true;
        }
        if (inList && control && message.wParam == 'Z') {
            form_.lbMessageCommand(tovana::MenuCommand::Undo);
            return true;
        }
    }
    const bool enterOrEsc = message.wParam == VK_RETURN || message.wParam == VK_ESCAPE;
    if (key && enterOrEsc && ::IsChild(window_, message.hwnd)) {
        const auto held = [](int virtualKey) { return (::GetKeyState(virtualKey) & 0x8000) != 0; };
        if (held(VK_SHIFT) || held(VK_CONTROL) || held(VK_MENU)) {
            return true;  // swallowed: neither key acts with a modifier
        }
    }
    return ::IsDialogMessageW(window_, &message) != 0;
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

void TfTovana::OnCommand(int id, int code) {
    switch (id) {
        case IDC_EPATH:
            if (code == EN_CHANGE) {
                form_.ePathChange();
            }
            break;
        case IDC_BUTTON1:
            if (code == BN_CLICKED) {
                form_.Button1Click();
            }
            break;
        case IDC_CREPLSPACE:
            if (code == BN_CLICKED) {
                form_.cReplSpaceClick();
            }
            break;
        case IDC_CREPLUNDR:
            if (code == BN_CLICKED) {
                form_.cReplUndrClick();
            }
            break;
        case IDOK:
            form_.bOKClick();
            break;
        case IDCANCEL:
            form_.bCancelClick();
            break;
        case IDC_LAUTHOR:
            if (code == STN_CLICKED) {
                form_.lAuthorClick();
            }
            break;
        case IDC_LWEB:
            if (code == STN_CLICKED) {
                form_.lWebClick();
            }
            break;
        default:
            break;
    }
}

// The banner takes a colour on which its heading always reads; the links one that reads on
// the window.
INT_PTR TfTovana::OnColourStatic(HDC dc, HWND control) {
    const int id = ::GetDlgCtrlID(control);
    if (id == IDC_PANEL1 || id == IDC_LABEL4) {
        const COLORREF heading = ::GetSysColor(COLOR_WINDOWTEXT);
        const tovana::Rgb background =
            tovana::BannerBackground(RgbOf(::GetSysColor(COLOR_CAPTIONTEXT)),
                                     RgbOf(::GetSysColor(COLOR_WINDOW)), RgbOf(heading));
        const COLORREF fill = RGB(background.r, background.g, background.b);
        LOGBRUSH current{};
        if (!bannerBrush_ || (::GetObjectW(bannerBrush_.get(), sizeof current, &current) != 0 &&
                              current.lbColor != fill)) {
            bannerBrush_.reset(::CreateSolidBrush(fill));
        }
        ::SetTextColor(dc, heading);
        ::SetBkColor(dc, fill);
        return reinterpret_cast<INT_PTR>(bannerBrush_.get());
    }
    if (id == IDC_LAUTHOR || id == IDC_LWEB) {
        const tovana::Rgb link = tovana::LinkColour(RgbOf(::GetSysColor(COLOR_HOTLIGHT)),
                                                    RgbOf(::GetSysColor(COLOR_BTNFACE)));
        ::SetTextColor(dc, RGB(link.r, link.g, link.b));
        ::SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_BTNFACE));
    }
    return FALSE;
}

INT_PTR TfTovana::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_DRAWITEM:
            if (wParam == IDC_LBMESSAGE) {
                lbMessageDrawItem(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
                return TRUE;
            }
            return FALSE;
        case WM_CONTEXTMENU:
            // Right click, Shift+F10 and the menu key all come here.
            if (reinterpret_cast<HWND>(wParam) == ::GetDlgItem(window_, IDC_LBMESSAGE)) {
                lbMessageContextPopup({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
                return TRUE;
            }
            return FALSE;
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (header->hwndFrom == tooltip_ && header->code == TTN_GETDISPINFOW) {
                lbMessageTooltipText(*reinterpret_cast<NMTTDISPINFOW*>(lParam));
                return TRUE;
            }
            return FALSE;
        }
        case WM_DROPFILES: {
            const auto drop = reinterpret_cast<HDROP>(wParam);
            std::vector<std::string> paths;
            const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
            for (UINT i = 0; i < count; ++i) {
                std::wstring path(::DragQueryFileW(drop, i, nullptr, 0), L'\0');
                path.resize(
                    ::DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size() + 1)));
                paths.push_back(tovana::Utf8FromWide(path));
            }
            ::DragFinish(drop);
            form_.PathsDropped(paths);
            return TRUE;
        }
        case WM_CTLCOLORSTATIC:
            return OnColourStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case kRunCall: {
            const std::unique_ptr<std::function<void()>> call(
                reinterpret_cast<std::function<void()>*>(lParam));
            (*call)();
            return TRUE;
        }
        case kAskToStop:
            form_.AskToStopRun();
            return TRUE;
        case WM_SETCURSOR: {
            if (busy_) {
                ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
                ::SetWindowLongPtrW(window_, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            const int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(wParam));
            if (id == IDC_LAUTHOR || id == IDC_LWEB) {
                ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
                ::SetWindowLongPtrW(window_, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        }
        case WM_CLOSE:
            if (form_.FormCloseQuery()) {
                const HWND window = window_;
                window_ = nullptr;
                ::DestroyWindow(window);
            }
            return TRUE;
        case WM_DESTROY:
            ::PostQuitMessage(0);  // closing the window ends the program
            return FALSE;
        case WM_QUERYENDSESSION:
            // A run stops after the rename under way, and the settings are saved after it.
            form_.StopRunAndWait();
            form_.FormCloseQuery();
            ::SetWindowLongPtrW(window_, DWLP_MSGRESULT, TRUE);
            return TRUE;
        default:
            return FALSE;
    }
}
