#include "rename/PathRules.h"

#include "rename/WideText.h"

namespace tovana {

// "\" ends every prefix the walk builds; the chosen folder may also be split at "/" or ":".
const char kFolderDelimiter = '\\';

// Hiding is an attribute here; a leading "." is an ordinary character of a name.
const bool kLeadingDotHides = false;

bool NameTooLong(const std::string& name) {
    return WideFromUtf8(name).size() > 255;
}

ChosenFolder SplitChosenFolder(const std::string& path) {
    return SplitAfterLast(path, "\\/", "\\/:");
}

}  // namespace tovana
