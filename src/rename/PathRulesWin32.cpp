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
    std::string trimmed = path;
    if (!trimmed.empty() && (trimmed.back() == '\\' || trimmed.back() == '/')) {
        trimmed.pop_back();
    }
    const std::size_t cut = trimmed.find_last_of("\\/:");
    ChosenFolder chosen;
    if (cut == std::string::npos) {
        chosen.name = trimmed;
    } else {
        chosen.prefix = trimmed.substr(0, cut + 1);
        chosen.name = trimmed.substr(cut + 1);
    }
    if (chosen.name == "." || chosen.name == "..") {
        chosen.name.clear();
    }
    return chosen;
}

}  // namespace tovana
