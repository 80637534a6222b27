#include "ui/win32/SelectFolderWin32.h"

#include <shlobj.h>

#include <vector>

namespace {

int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED && data != 0) {
        ::SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, data);
    }
    return 0;
}

struct ThreadWindows {
    std::vector<HWND> disabled;
};

BOOL CALLBACK DisableWindow(HWND window, LPARAM data) {
    if (::IsWindowVisible(window) && ::IsWindowEnabled(window)) {
        reinterpret_cast<ThreadWindows*>(data)->disabled.push_back(window);
        ::EnableWindow(window, FALSE);
    }
    return TRUE;
}

bool IsExistingFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The folder as the browser finds it: the full path with "\" between the folders and none at its
// end. The field may hold "/" or a final "\", which the browser takes for no folder at all.
std::wstring BrowserPath(const std::wstring& folder) {
    std::wstring full(::GetFullPathNameW(folder.c_str(), 0, nullptr, nullptr), L'\0');
    const DWORD length = full.empty()
                             ? 0
                             : ::GetFullPathNameW(folder.c_str(), static_cast<DWORD>(full.size()),
                                                  full.data(), nullptr);
    if (length == 0 || length >= full.size()) {
        return folder;
    }
    full.resize(length);
    while (full.size() > 3 && full.back() == L'\\') {
        full.pop_back();  // "C:\" keeps its own
    }
    return full;
}

}  // namespace

bool SelectFolder(HWND owner, const std::wstring& title, const std::wstring& root,
                  std::wstring& folder) {
    if (!IsExistingFolder(folder)) {
        folder.clear();
    }
    // The browser is a COM object: the thread joins a single-threaded apartment for it.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    struct ComApartment {
        bool joined;
        ~ComApartment() {
            if (joined) {
                ::CoUninitialize();
            }
        }
    } apartment{SUCCEEDED(com)};
    IMalloc* allocator = nullptr;
    if (FAILED(::SHGetMalloc(&allocator)) || allocator == nullptr) {
        return false;
    }
    auto* buffer = static_cast<wchar_t*>(allocator->Alloc(MAX_PATH * sizeof(wchar_t)));
    LPITEMIDLIST rootItem = nullptr;
    if (!root.empty()) {
        IShellFolder* desktop = nullptr;
        if (SUCCEEDED(::SHGetDesktopFolder(&desktop))) {
            std::wstring rootText = root;
            desktop->ParseDisplayName(owner, nullptr, rootText.data(), nullptr, &rootItem, nullptr);
            desktop->Release();
        }
    }
    BROWSEINFOW request{};
    request.hwndOwner = owner;
    request.pidlRoot = rootItem;
    request.pszDisplayName = buffer;
    request.lpszTitle = title.c_str();
    request.ulFlags = BIF_RETURNONLYFSDIRS;
    const std::wstring start = folder.empty() ? folder : BrowserPath(folder);
    if (!start.empty()) {
        request.lpfn = BrowseCallback;
        request.lParam = reinterpret_cast<LPARAM>(start.c_str());
    }
    ThreadWindows windows;
    ::EnumThreadWindows(::GetCurrentThreadId(), DisableWindow, reinterpret_cast<LPARAM>(&windows));
    const UINT previousMode = ::SetErrorMode(SEM_FAILCRITICALERRORS);
    LPITEMIDLIST chosen = ::SHBrowseForFolderW(&request);
    ::SetErrorMode(previousMode);
    for (HWND window : windows.disabled) {
        if (::IsWindow(window)) {
            ::EnableWindow(window, TRUE);
        }
    }
    bool confirmed = false;
    if (chosen != nullptr) {
        // The path at any length: SHGetPathFromIDListW stops at 260 characters.
        PWSTR path = nullptr;
        if (SUCCEEDED(::SHGetNameFromIDList(chosen, SIGDN_FILESYSPATH, &path)) && path != nullptr) {
            folder = path;
            confirmed = true;
        }
        ::CoTaskMemFree(path);
        allocator->Free(chosen);
    }
    if (rootItem != nullptr) {
        allocator->Free(rootItem);
    }
    allocator->Free(buffer);
    allocator->Release();
    return confirmed;
}
