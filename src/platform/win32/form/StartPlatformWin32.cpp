#include <windows.h>

#include "form/StartPlatform.h"
#include "names/PathRules.h"
#include "names/WideText.h"

namespace tovana {

const char kWindowProgram[] = "Tovana.exe";

// "file://server/share" is the UNC path \\server\share; "/" turns into "\".
std::string LocalPathOfFileUrl(const std::string& host, std::string path, const std::string&) {
    for (char& c : path) {
        if (c == '/') {
            c = '\\';
        }
    }
    if (!host.empty()) {
        return "\\\\" + host + path;
    }
    // file:///C:/Fotky
    if (path.size() >= 3 && path[0] == '\\' && path[2] == ':') {
        path.erase(0, 1);
    }
    return path;
}

// The system's full path, with short names made long.
std::string FullStartPath(const std::string& path, const std::string&) {
    const std::wstring wide = WideFromUtf8(path);
    DWORD size = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return path;
    }
    std::wstring full(size, L'\0');
    size = ::GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    full.resize(size);
    // A short name (PROGRA~1) shows as the folder's real name; a path that does not exist
    // stays as the system made it full.
    if (const DWORD longSize = ::GetLongPathNameW(full.c_str(), nullptr, 0); longSize > 0) {
        std::wstring longPath(longSize, L'\0');
        const DWORD written = ::GetLongPathNameW(full.c_str(), longPath.data(), longSize);
        if (written > 0 && written < longSize) {
            longPath.resize(written);
            full = longPath;
        }
    }
    return TrimmedPath(Utf8FromWide(full));
}

}  // namespace tovana
