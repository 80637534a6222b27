// What the window's command line needs from the platform: the program's file name, the local
// path a file:// URL stands for, and a path made full.
#pragma once

#include <string>

namespace tovana {

// The window program's file name, as its help shows it.
extern const char kWindowProgram[];

// The local path of a file URL: `host` as written (empty or "localhost" cleared), `path` its
// decoded path starting with "/". `url` comes back where no local path stands for it.
std::string LocalPathOfFileUrl(const std::string& host, std::string path, const std::string& url);

// `path` made absolute against `currentFolder`, "." and ".." taken out, no trailing separator
// (but a root's).
std::string FullStartPath(const std::string& path, const std::string& currentFolder);

}  // namespace tovana
