#include "names/PathRules.h"

#include "names/NameText.h"
#include "names/WideText.h"

#include <windows.h>

namespace tovana {

// "\" ends every prefix the walk builds; the chosen folder may also be split at "/" or ":".
const char kFolderDelimiter = '\\';

// The system cuts them from the last part of every path it is given in the ordinary form. A name
// could keep them only through the "\\?\" form, and then Explorer could not open it.
std::string NameTheSystemKeeps(const std::string& name) {
    const std::size_t end = name.find_last_not_of(". ");
    return end == std::string::npos ? std::string() : name.substr(0, end + 1);
}
// Hiding is an attribute here; a leading "." is an ordinary character of a name.
const bool kLeadingDotHides = false;

bool NameTooLong(const std::string& name) {
    return WideFromUtf8(name).size() > 255;
}

ChosenFolder SplitChosenFolder(const std::string& path) {
    return SplitAfterLast(path, "\\/", "\\/:");
}

bool IsPathSeparator(char c) {
    return c == '\\' || c == '/';
}

std::string TrimmedPath(std::string path) {
    while (path.size() > 1 && IsPathSeparator(path.back())) {
        if (path.size() == 3 && path[1] == ':') {
            break;  // "C:\\" keeps its own
        }
        path.pop_back();
    }
    return path;
}

bool SamePath(const std::string& a, const std::string& b) {
    const NameChars x = DecodeName(TrimmedPath(a));
    const NameChars y = DecodeName(TrimmedPath(b));
    if (x.size() != y.size()) {
        return false;
    }
    for (std::size_t i = 0; i < x.size(); ++i) {
        const bool bothSeparators = (x[i] == '\\' || x[i] == '/') && (y[i] == '\\' || y[i] == '/');
        if (!bothSeparators && LowerChar(x[i]) != LowerChar(y[i])) {
            return false;
        }
    }
    return true;
}

std::string WithStoredLastName(const std::string& path) {
    const std::string trimmed = TrimmedPath(path);
    const ChosenFolder given = SplitChosenFolder(trimmed);
    if (given.name.empty()) {
        return path;
    }
    const std::wstring wide = WideFromUtf8(trimmed);
    std::wstring full(::GetLongPathNameW(wide.c_str(), nullptr, 0), L'\0');
    if (full.empty()) {
        return path;
    }
    const DWORD length =
        ::GetLongPathNameW(wide.c_str(), full.data(), static_cast<DWORD>(full.size()));
    if (length == 0 || length >= full.size()) {
        return path;
    }
    full.resize(length);
    const ChosenFolder stored = SplitChosenFolder(Utf8FromWide(full));
    return stored.name.empty() ? path : given.prefix + stored.name;
}

bool IsRootPath(const std::string& folder) {
    const std::string path = TrimmedPath(folder);
    return (path.size() == 2 || path.size() == 3) && path[1] == ':' &&
           (path.size() == 2 || IsPathSeparator(path[2]));
}

}  // namespace tovana
