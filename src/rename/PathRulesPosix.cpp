#include "rename/PathRules.h"

#include <climits>

namespace tovana {

// "/" is the only delimiter here: "\" and ":" are ordinary characters of a name.
const char kFolderDelimiter = '/';

std::string FolderPrefix(const std::string& path) {
    if (!path.empty() && path.back() == kFolderDelimiter) {
        return path;
    }
    return path + kFolderDelimiter;
}

bool NameTooLong(const std::string& name) {
    return name.size() > NAME_MAX;
}

ChosenFolder SplitChosenFolder(const std::string& path) {
    return SplitAfterLast(path, "/", "/");
}

}  // namespace tovana
