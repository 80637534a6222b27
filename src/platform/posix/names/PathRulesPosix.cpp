#include "names/PathRules.h"

#include <climits>

namespace tovana {

// "/" is the only delimiter here: "\" and ":" are ordinary characters of a name.
const char kFolderDelimiter = '/';

std::string NameTheSystemKeeps(const std::string& name) {
    return name;
}
// A leading "." is what hides a file here: ls, file managers and shells skip such names.
const bool kLeadingDotHides = true;

bool NameTooLong(const std::string& name) {
    return name.size() > NAME_MAX;
}

ChosenFolder SplitChosenFolder(const std::string& path) {
    return SplitAfterLast(path, "/", "/");
}

bool IsPathSeparator(char c) {
    return c == '/';
}

std::string TrimmedPath(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

bool SamePath(const std::string& a, const std::string& b) {
    return TrimmedPath(a) == TrimmedPath(b);
}

// Names have no second, short form here.
std::string WithStoredLastName(const std::string& path) {
    return path;
}

bool IsRootPath(const std::string& path) {
    return TrimmedPath(path) == "/";
}

}  // namespace tovana
