// The window's command line, the same for both windows: `Tovana [FOLDER]`, --help, --version.
// A given folder stands in the folder field instead of the remembered one; nothing runs until
// the user presses OK. Also the paths a file manager hands over in a drop or a `%U` argument.
#pragma once

#include <string>
#include <vector>

namespace tovana {

struct StartRequest {
    enum class Kind { Window, Help, Version, Misuse };
    Kind kind = Kind::Window;
    std::string folder;   // as given, a file:// URL turned into its path; empty: none given
    std::string message;  // Misuse: what is wrong, in the user's words
};

// Reads the arguments after the program's name. An argument starting with "-" is an option
// unless it follows "--"; more than one folder is a misuse.
StartRequest ReadStartArguments(const std::vector<std::string>& arguments);

// The local path a file:// URL names, with its %XX escapes decoded to bytes; any other text
// as it is. On Windows "file://server/share" is the UNC path \\server\share and "/" turns
// into "\".
std::string PathFromUrl(const std::string& text);

// The paths of a text/uri-list (one URL a line, "#" lines are comments).
std::vector<std::string> PathsFromUriList(const std::string& list);

// `path` made absolute against `currentFolder`, "." and ".." taken out, no trailing separator
// (but a root's). On Windows this is the system's full path with short names made long.
std::string AbsoluteStartPath(const std::string& path, const std::string& currentFolder);

// The texts the program prints (or shows in a box on Windows).
std::string StartHelpText();
std::string StartVersionText();
std::string StartMisuseText(const std::string& message);

}  // namespace tovana
