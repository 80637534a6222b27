#include "rename/PathRules.h"

#include "rename/WideText.h"

namespace tovana {

// "\" ends every prefix the walk builds; the chosen folder may also be split at "/" or ":".
const char kFolderDelimiter = '\\';

bool NameTooLong(const std::string& name) {
    return WideFromUtf8(name).size() > 255;
}

ChosenFolder SplitChosenFolder(const std::string& path) {
    return SplitAfterLast(path, "\\/", "\\/:");
}

}  // namespace tovana
