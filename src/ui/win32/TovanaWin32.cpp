// The program's entry on Windows: the application's own window, the main window, the loop.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include "rename/Platform.h"
#include "rename/WideText.h"
#include "settings/PlatformSettings.h"
#include "ui/win32/SelectFolderWin32.h"
#include "ui/win32/uTovanaWin32.h"

namespace {

// The application's window: zero size at the centre of the screen, with the program's icon.
// It holds the task-bar button and owns the main window, the message boxes and the browser.
HWND CreateApplicationWindow(HINSTANCE instance, const std::wstring& title) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = ::DefWindowProcW;
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

std::wstring ApplicationTitle() {
    wchar_t path[MAX_PATH];
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::string name = tovana::Utf8FromWide(path);
    name = name.substr(name.find_last_of("\\/") + 1);
    return tovana::WideFromUtf8(tovana::ApplicationTitle(name));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    const std::wstring title = ApplicationTitle();
    const HWND application = CreateApplicationWindow(instance, title);
    ::ShowWindow(application, SW_SHOWNOACTIVATE);

    const auto fileSystem = tovana::MakeFileSystem();
    const auto settings = tovana::MakeSettingsStore();
    TovanaServices services;
    services.fileSystem = fileSystem.get();
    services.settings = settings.get();
    services.applicationTitle = title;
    services.selectFolder = [](HWND owner, std::wstring& folder) {
        return SelectFolder(owner, L"", L"", folder);
    };
    services.showMessage = [](HWND owner, const std::wstring& boxTitle, const std::wstring& text,
                              UINT flags) {
        ::MessageBoxW(owner, text.c_str(), boxTitle.c_str(), flags | MB_TASKMODAL);
    };
    services.openAddress = [](const std::wstring& address) {
        ::ShellExecuteW(nullptr, L"Open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    };

    TfTovana fTovana(instance, application, services);
    ::ShowWindow(fTovana.hwnd(), show);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (fTovana.closed() || !::IsDialogMessageW(fTovana.hwnd(), &message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    ::DestroyWindow(application);
    return 0;
}
