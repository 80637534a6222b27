// How a run builds and splits paths; each platform has its own delimiters.
#pragma once

#include <string>
#include <string_view>

namespace tovana {

// The folder delimiter that ends every prefix the walk builds.
extern const char kFolderDelimiter;

// The chosen folder as the prefix of its entries: the path ending in one delimiter, however
// many it ended with ("Čaj", "Čaj/" and "Čaj//" give "Čaj/").
std::string FolderPrefix(const std::string& path);

struct ChosenFolder {
    std::string prefix;  // what precedes the name, delimiter included; may be empty
    std::string name;    // empty for a root, which has no name to change
};

// The name an entry given `name` really gets: Windows drops trailing dots and spaces.
std::string NameTheSystemKeeps(const std::string& name);
// Whether a leading "." hides an entry on this host. Where it does, the name rules keep a
// hidden name's dot and never make a visible name hidden.
extern const bool kLeadingDotHides;

// Whether renaming `oldName` to `newName` would hide a visible entry on this host.
bool BecomesHidden(std::string_view oldName, std::string_view newName);

// Whether a name is longer than the file system takes.
bool NameTooLong(const std::string& name);

// Splits the chosen folder into the folder that holds it and its own name.
ChosenFolder SplitChosenFolder(const std::string& path);

// The split itself: every trailing character of `trailing` dropped, then cut after the last of
// `delimiters`. "." and ".." name no folder of their own and give an empty name.
ChosenFolder SplitAfterLast(const std::string& path, const char* trailing, const char* delimiters);

// Whether `c` separates folders in a path the user gives ("/" here, "\\" or "/" on Windows).
bool IsPathSeparator(char c);

// The path without the separators at its end, except for a root's own ("/", "C:\\").
std::string TrimmedPath(std::string path);

// Whether two paths name the same folder as the user typed them: trailing separators aside, and
// on Windows in any letter case and with either separator.
bool SamePath(const std::string& a, const std::string& b);

// The path with its last part named as the file system stores it, the rest as given: on Windows
// a short name ("L_TO~N2R" for "Léto Tom") becomes the long one, so that the path compares equal
// to the paths a run reports. Unchanged where the folder cannot be found, and on Linux.
std::string WithStoredLastName(const std::string& path);

// Whether `path` is a whole disk: a file-system root.
bool IsRootPath(const std::string& path);

// The folder holding the last part of `path`, its separator kept ("/a/b" gives "/a/").
std::string ParentPrefix(const std::string& path);

}  // namespace tovana
