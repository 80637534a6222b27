#include "names/PathRules.h"

#include "names/WideText.h"

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

}  // namespace tovana
