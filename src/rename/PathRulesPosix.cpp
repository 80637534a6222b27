#include "rename/PathRules.h"

#include <climits>

namespace tovana {

// "/" is the only delimiter here: "\" and ":" are ordinary characters of a name.
const char kFolderDelimiter = '/';

std::string NameTheSystemKeeps(const std::string& name) {
    return name;
}

bool NameTooLong(const std::string& name) {
    return name.size() > NAME_MAX;
}

ChosenFolder SplitChosenFolder(const std::string& path) {
    return SplitAfterLast(path, "/", "/");
}

}  // namespace tovana
