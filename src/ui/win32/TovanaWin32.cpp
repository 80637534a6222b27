// The program's entry on Windows: the application's own window, the main window, the loop.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "form/StartArguments.h"
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

// The arguments after the program's name, as the system splits the command line.
std::vector<std::string> Arguments() {
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* split = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (split == nullptr) {
        return arguments;
    }
    for (int i = 1; i < count; ++i) {
        arguments.push_back(tovana::Utf8FromWide(split[i]));
    }
    ::LocalFree(split);
    return arguments;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    // A window program has no console to print to: what it would print comes in a box.
    const tovana::StartRequest start = tovana::ReadStartArguments(Arguments());
    switch (start.kind) {
        case tovana::StartRequest::Kind::Help:
            ::MessageBoxW(nullptr, tovana::WideFromUtf8(tovana::StartHelpText()).c_str(), L"Tovana",
                          MB_OK | MB_ICONINFORMATION);
            return 0;
        case tovana::StartRequest::Kind::Version:
            ::MessageBoxW(nullptr, tovana::WideFromUtf8(tovana::StartVersionText()).c_str(),
                          L"Tovana", MB_OK | MB_ICONINFORMATION);
            return 0;
        case tovana::StartRequest::Kind::Misuse:
            ::MessageBoxW(nullptr,
                          tovana::WideFromUtf8(tovana::StartMisuseText(start.message)).c_str(),
                          L"Tovana", MB_OK | MB_ICONERROR);
            return 2;
        case tovana::StartRequest::Kind::Window:
            break;
    }
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
    // The given folder fills the field once the window stands, its error box over it.
    fTovana.form().StartIn(tovana::AbsoluteStartPath(start.folder, ""));
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
