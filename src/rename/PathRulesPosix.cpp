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
    std::string trimmed = path;
    if (!trimmed.empty() && trimmed.back() == kFolderDelimiter) {
        trimmed.pop_back();
    }
    const std::size_t cut = trimmed.rfind(kFolderDelimiter);
    ChosenFolder chosen;
    if (cut == std::string::npos) {
        chosen.name = trimmed;
    } else {
        chosen.prefix = trimmed.substr(0, cut + 1);
        chosen.name = trimmed.substr(cut + 1);
    }
    // "." and ".." refer to a folder without being its name; there is nothing to rename.
    if (chosen.name == "." || chosen.name == "..") {
        chosen.name.clear();
    }
    return chosen;
}

}  // namespace tovana
