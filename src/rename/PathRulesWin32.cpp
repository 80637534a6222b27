#include "rename/PathRules.h"

#include "rename/WideText.h"

namespace tovana {

// "\" ends every prefix the walk builds; the chosen folder may also be split at "/" or ":".
const char kFolderDelimiter = '\\';

std::string FolderPrefix(const std::string& path) {
    if (!path.empty() && path.back() == kFolderDelimiter) {
        return path;
    }
    return path + kFolderDelimiter;
}

bool NameTooLong(const std::string& name) {
    return WideFromUtf8(name).size() > 255;
}

ChosenFolder SplitChosenFolder(const std::string& path) {
    return SplitAfterLast(path, "\\/", "\\/:");
}

}  // namespace tovana
