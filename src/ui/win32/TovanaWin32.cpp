// The program's entry on Windows: the application's own window, the main window, the loop.
#include <windows.h>

#include <commctrl.h>

#include "journal/JournalStore.h"
#include "names/WideText.h"
#include "rename/Platform.h"
#include "settings/PlatformSettings.h"
#include "ui/win32/uTovanaWin32.h"

namespace {

std::wstring ProfileFolder() {
    wchar_t path[32768];
    const DWORD length = ::GetEnvironmentVariableW(L"USERPROFILE", path, 32768);
    return length > 0 && length < 32768 ? std::wstring(path, length) : std::wstring();
}

std::wstring ApplicationTitle() {
    wchar_t path[MAX_PATH];
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return tovana::WideFromUtf8(tovana::ApplicationTitle(tovana::Utf8FromWide(path)));
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
    const auto journals = tovana::JournalStore::ForCurrentUser();
    TovanaServices services;
    services.fileSystem = fileSystem.get();
    services.settings = settings.get();
    services.journals = journals.get();
    services.homeFolder = ProfileFolder();
    services.applicationTitle = title;

    TfTovana fTovana(instance, application, services);
    ::ShowWindow(fTovana.hwnd(), show);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!fTovana.HandleKeys(message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    ::DestroyWindow(application);
    return 0;
}
