// The file system on Windows, through the wide (UTF-16) functions: every name the system can
// hold is reachable, whatever the code page.
#include <windows.h>

#include <string>

#include "names/WideText.h"
#include "rename/FileSystemWin32.h"
#include "rename/Platform.h"

namespace tovana {
namespace {

// Entries carrying the volume-label attribute are not files.
constexpr DWORD kVolumeLabel = 0x8;
// A folder both hidden and system belongs to Windows ($RECYCLE.BIN, System Volume Information).
constexpr DWORD kSystemFolder = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// The renames go through paths, so each folder of the walk is held open, without letting
// anyone delete or rename it, for as long as the walk is inside it: none of them can be swapped
// for a link to elsewhere meanwhile. Renames inside it are still allowed.
class Win32Folder : public Folder {
  public:
    Win32Folder(std::wstring folderPath, HANDLE held) : path(std::move(folderPath)), handle(held) {}
    ~Win32Folder() override { ::CloseHandle(handle); }
    Win32Folder(const Win32Folder&) = delete;
    Win32Folder& operator=(const Win32Folder&) = delete;
    std::wstring path;  // ends with "\" (or ":" for a drive's current folder)
    HANDLE handle;
};

std::error_code LastError();

// Opens the folder to hold it; with linkAllowed false a link is opened as itself and refused,
// so that the check and the folder held are one and the same.
std::unique_ptr<Folder> HoldFolder(const std::wstring& path, bool linkAllowed,
                                   std::error_code& error) {
    const HANDLE handle = ::CreateFileW(
        path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | (linkAllowed ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = LastError();
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(handle, &info)) {
        error = LastError();
    } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        error = std::make_error_code(std::errc::not_a_directory);
    } else if (!linkAllowed && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        error = std::make_error_code(std::errc::too_many_symbolic_link_levels);
    } else {
        error.clear();
    }
    if (error) {
        ::CloseHandle(handle);
        return nullptr;
    }
    std::wstring prefix = path;
    if (prefix.back() != L'\\') {
        prefix += L'\\';
    }
    return std::make_unique<Win32Folder>(prefix, handle);
}

std::wstring& PathOf(Folder& folder) {
    return static_cast<Win32Folder&>(folder).path;
}

std::error_code LastError() {
    return {static_cast<int>(::GetLastError()), std::system_category()};
}

class FindHandle {
  public:
    explicit FindHandle(HANDLE handle) : handle_(handle) {}
    ~FindHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            ::FindClose(handle_);
        }
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_;
};

// The name an entry really carries, as the system reports it.
bool ActualName(const std::wstring& path, std::wstring& name) {
    WIN32_FIND_DATAW data;
    const FindHandle find(::FindFirstFileW(path.c_str(), &data));
    if (find.get() == INVALID_HANDLE_VALUE) {
        return false;
    }
    name = data.cFileName;
    return true;
}

// Whether path is a folder, and for a link to one whether that is allowed.
bool IsFolder(const std::wstring& path, bool linkAllowed, std::error_code& error) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        error = LastError();
    } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        error = std::make_error_code(std::errc::not_a_directory);
    } else if (!linkAllowed && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        error = std::make_error_code(std::errc::too_many_symbolic_link_levels);
    } else {
        error.clear();
    }
    return !error;
}

}  // namespace

// Made full first: the "\\?\" form is taken as it stands, without resolving "." and "..",
// "/" or a drive's current folder.
std::wstring LongPathForm(const std::wstring& path) {
    if (path.starts_with(L"\\\\?\\") || path.starts_with(L"\\\\.\\")) {
        return path;
    }
    const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return path;
    }
    std::wstring full(size, L'\0');
    const DWORD length = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) {
        return path;
    }
    full.resize(length);
    if (full.starts_with(L"\\\\")) {
        return L"\\\\?\\UNC\\" + full.substr(2);
    }
    if (full.size() >= 2 && full[1] == L':') {
        return L"\\\\?\\" + full;
    }
    return full;
}

namespace {

class FileSystemWin32 : public FileSystem {
  public:
    std::unique_ptr<Folder> OpenFolder(const std::string& path, std::error_code& error) override {
        std::wstring wide = LongPathForm(WideFromUtf8(path));
        if (!wide.empty() && wide.back() != L'\\' && wide.back() != L'/' && wide.back() != L':') {
            wide += L'\\';
        }
        if (!IsFolder(wide, true, error)) {
            return nullptr;
        }
        return HoldFolder(wide, true, error);
    }

    // The chosen folder, by its name in its parent; a link to a folder may be chosen.
    std::unique_ptr<Folder> OpenChosenFolder(Folder& parent, const std::string& name,
                                             std::error_code& error) override {
        const std::wstring path = PathOf(parent) + WideFromUtf8(name);
        if (!IsFolder(path, true, error)) {
            return nullptr;
        }
        return HoldFolder(path, true, error);
    }

    // A link to a folder (a reparse point) is never entered: it could lead outside.
    std::unique_ptr<Folder> OpenSubfolder(Folder& parent, const std::string& name,
                                          std::error_code& error) override {
        const std::wstring path = PathOf(parent) + WideFromUtf8(name);
        if (!IsFolder(path, false, error)) {
            return nullptr;
        }
        return HoldFolder(path, false, error);
    }

    std::error_code ReadEntries(Folder& folder, EntryList& entries) override {
        WIN32_FIND_DATAW data;
        const std::wstring pattern = PathOf(folder) + L"*";
        const FindHandle find(::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data,
                                                 FindExSearchNameMatch, nullptr,
                                                 FIND_FIRST_EX_LARGE_FETCH));
        if (find.get() == INVALID_HANDLE_VALUE) {
            return ::GetLastError() == ERROR_FILE_NOT_FOUND ? std::error_code() : LastError();
        }
        do {
            const std::wstring_view name = data.cFileName;
            const DWORD attributes = data.dwFileAttributes;
            if (name == L"." || name == L".." || (attributes & kVolumeLabel) != 0) {
                continue;
            }
            EntryKind kind = EntryKind::File;
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                if ((attributes & kSystemFolder) == kSystemFolder) {
                    kind = EntryKind::SystemFolder;
                } else if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
                    kind = EntryKind::FolderLink;
                } else {
                    kind = EntryKind::Folder;
                }
            }
            entries.push_back({Utf8FromWide(name), kind});
        } while (::FindNextFileW(find.get(), &data));
        return ::GetLastError() == ERROR_NO_MORE_FILES ? std::error_code() : LastError();
    }

    // MoveFileExW without MOVEFILE_REPLACE_EXISTING never replaces an entry. A change of letter
    // case alone may be reported done and yet not made (Wine does so): the name is checked, and
    // such a change goes through a name of our own.
    std::error_code Rename(Folder& folder, const std::string& from,
                           const std::string& to) override {
        const std::wstring& base = PathOf(folder);
        const std::wstring oldPath = base + WideFromUtf8(from);
        const std::wstring wideTo = WideFromUtf8(to);
        const std::wstring newPath = base + wideTo;
        if (!::MoveFileExW(oldPath.c_str(), newPath.c_str(), 0)) {
            return LastError();
        }
        std::wstring actual;
        if (!ActualName(newPath, actual) || actual == wideTo) {
            return {};
        }
        // The journal hears of the temporary name before the entry moves there, as on Linux:
        // should the program be killed between the two moves, the undo finds it there.
        RenameNotes* listener = notes();
        std::wstring temporary;
        for (int attempt = 0;; ++attempt) {
            const std::string name = ".tovana-" + std::to_string(::GetCurrentProcessId()) + "-" +
                                     std::to_string(temporaryCounter_++);
            temporary = base + WideFromUtf8(name);
            if (listener != nullptr) {
                listener->TemporaryName(from, name, false);
            }
            if (::MoveFileExW(newPath.c_str(), temporary.c_str(), 0)) {
                break;
            }
            if (::GetLastError() != ERROR_ALREADY_EXISTS || attempt == 100) {
                return LastError();
            }
        }
        if (::MoveFileExW(temporary.c_str(), newPath.c_str(), 0)) {
            return {};
        }
        const std::error_code error = LastError();
        if (!::MoveFileExW(temporary.c_str(), oldPath.c_str(), 0) && listener != nullptr) {
            listener->TemporaryName(from, Utf8FromWide(temporary.substr(base.size())), true);
        }
        return error;
    }

    bool IgnoresCase(Folder&) override { return true; }

    // Looked up without wildcards, the system reports the one entry the name reaches.
    std::string StoredName(Folder& folder, const std::string& name) override {
        std::wstring stored;
        if (name.find_first_of("*?<>\"") != std::string::npos ||
            !ActualName(PathOf(folder) + WideFromUtf8(name), stored)) {
            return name;
        }
        return Utf8FromWide(stored);
    }

    // A share (a UNC path, or a drive mapped to one) is remote. The volume comes back in the long
    // form; the drive type is asked of its plain root ("N:\"), which every system answers (Wine
    // takes "\\?\N:\" for a fixed disk).
    bool Remote(Folder& folder) override {
        wchar_t volume[MAX_PATH + 1];
        if (!::GetVolumePathNameW(PathOf(folder).c_str(), volume, MAX_PATH + 1)) {
            return false;
        }
        std::wstring root = volume;
        if (root.starts_with(L"\\\\?\\UNC\\")) {
            return true;
        }
        if (root.starts_with(L"\\\\?\\")) {
            root.erase(0, 4);
        }
        return ::GetDriveTypeW(root.c_str()) == DRIVE_REMOTE;
    }

    // A clone's temporary names count from a range of their own, so two workers never pick one.
    std::unique_ptr<FileSystem> Clone() override {
        auto clone = std::make_unique<FileSystemWin32>();
        clone->temporaryCounter_ = ++clones_ * 1000000u;
        return clone;
    }

  private:
    unsigned temporaryCounter_ = 0;
    unsigned clones_ = 0;
};

}  // namespace

std::unique_ptr<FileSystem> MakeFileSystem() {
    return std::make_unique<FileSystemWin32>();
}

void RaiseOpenFileLimit() {}

}  // namespace tovana
