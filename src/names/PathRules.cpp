#include "names/PathRules.h"

#include <cstring>

namespace tovana {

std::string FolderPrefix(const std::string& path) {
    std::size_t end = path.size();
    while (end > 1 && path[end - 1] == kFolderDelimiter && path[end - 2] == kFolderDelimiter) {
        --end;
    }
    if (end > 0 && path[end - 1] == kFolderDelimiter) {
        return path.substr(0, end);
    }
    return path + kFolderDelimiter;
}

bool BecomesHidden(std::string_view oldName, std::string_view newName) {
    return kLeadingDotHides && !newName.empty() && newName.front() == '.' &&
           (oldName.empty() || oldName.front() != '.');
}

ChosenFolder SplitAfterLast(const std::string& path, const char* trailing, const char* delimiters) {
    std::string trimmed = path;
    while (!trimmed.empty() && std::strchr(trailing, trimmed.back()) != nullptr) {
        trimmed.pop_back();
    }
    const std::size_t cut = trimmed.find_last_of(delimiters);
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

std::string ParentPrefix(const std::string& path) {
    std::string parent = TrimmedPath(path);
    while (!parent.empty() && !IsPathSeparator(parent.back())) {
        parent.pop_back();
    }
    return parent;
}

}  // namespace tovana
