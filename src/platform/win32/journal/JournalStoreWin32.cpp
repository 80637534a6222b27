#include <windows.h>

#include <shlobj.h>

#include "journal/JournalStore.h"
#include "names/WideText.h"

namespace tovana::journal_platform {
namespace {

std::error_code LastError() {
    return {static_cast<int>(::GetLastError()), std::system_category()};
}

class Win32JournalFile : public JournalFile {
  public:
    explicit Win32JournalFile(HANDLE handle) : handle_(handle) {}
    ~Win32JournalFile() override { ::CloseHandle(handle_); }
    Win32JournalFile(const Win32JournalFile&) = delete;
    Win32JournalFile& operator=(const Win32JournalFile&) = delete;

    std::error_code Append(std::string_view text) override {
        while (!text.empty()) {
            DWORD written = 0;
            const DWORD size =
                text.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(text.size());
            if (!::WriteFile(handle_, text.data(), size, &written, nullptr)) {
                return LastError();
            }
            text.remove_prefix(written);
        }
        return {};
    }

    std::error_code Sync() override {
        return ::FlushFileBuffers(handle_) ? std::error_code() : LastError();
    }

  private:
    HANDLE handle_;
};

}  // namespace

const char kPlatform[] = "windows";

std::string DefaultFolder() {
    std::wstring base;
    if (const DWORD size = ::GetEnvironmentVariableW(L"LOCALAPPDATA", nullptr, 0); size > 1) {
        base.resize(size);
        base.resize(::GetEnvironmentVariableW(L"LOCALAPPDATA", base.data(), size));
    } else {
        wchar_t known[MAX_PATH] = {};
        if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, known))) {
            base = known;
        }
    }
    if (base.empty()) {
        return {};
    }
    if (base.back() != L'\\') {
        base += L'\\';
    }
    return Utf8FromWide(base + L"Korvel\\Tovana\\journal");
}

std::unique_ptr<JournalFile> NewFile(const std::string& path, std::error_code& error) {
    // Appends go to the end; the file is shared for reading, so a journal can be looked at
    // while its run goes on.
    const HANDLE handle =
        ::CreateFileW(WideFromUtf8(path).c_str(), FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ,
                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = ::GetLastError() == ERROR_FILE_EXISTS ? std::make_error_code(std::errc::file_exists)
                                                      : LastError();
        return nullptr;
    }
    error.clear();
    return std::make_unique<Win32JournalFile>(handle);
}

// "." and ".." are resolved in the text as Windows itself resolves them, and the path made
// absolute against the current folder (of the current drive for a path from a drive's root).
std::string ChosenFolderPath(const std::string& path) {
    const std::wstring wide = WideFromUtf8(path);
    const DWORD size = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return path;
    }
    std::wstring full(size, L'\0');
    const DWORD length = ::GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) {
        return path;
    }
    full.resize(length);
    return Utf8FromWide(full);
}

}  // namespace tovana::journal_platform
