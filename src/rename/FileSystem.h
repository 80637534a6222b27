// What a run needs of the file system: list a folder, open a subfolder, rename inside a folder.
// Each platform implements it in its own file; the run sees only this interface.
#pragma once

#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace tovana {

enum class EntryKind {
    File,        // anything that is not a folder: files, links to files, dangling links, devices
    Folder,      // a real folder
    FolderLink,  // a link to a folder: offered like a folder, never walked into
    // A folder the system keeps for itself (hidden and system on Windows, such as the recycle
    // bin): left alone like the dot-folders, neither walked into nor renamed.
    SystemFolder,
};

struct FolderEntry {
    std::string name;
    EntryKind kind;
};

// An open folder. Renames and subfolders are reached through it, not through a path, so a
// folder swapped for a link during a run cannot redirect them elsewhere.
class Folder {
  public:
    virtual ~Folder() = default;
};

class FileSystem {
  public:
    virtual ~FileSystem() = default;

    // Opens a folder the user named by its path (links in the path are followed).
    virtual std::unique_ptr<Folder> OpenFolder(const std::string& path, std::error_code& error) = 0;

    // Opens a subfolder by name; fails rather than follow a link.
    virtual std::unique_ptr<Folder> OpenSubfolder(Folder& parent, const std::string& name,
                                                  std::error_code& error) = 0;

    // Appends the folder's entries, "." and ".." left out. An error ends the listing; the
    // entries read before it stay in `entries`.
    virtual std::error_code ReadEntries(Folder& folder, std::vector<FolderEntry>& entries) = 0;

    // Renames `from` to `to` inside folder. Never replaces an existing entry: when `to` is
    // taken (or cannot be checked), the rename fails and nothing changes. A change of letter
    // case only succeeds on case-insensitive file systems too.
    virtual std::error_code Rename(Folder& folder, const std::string& from,
                                   const std::string& to) = 0;

    // Whether the folder tells names apart regardless of letter case (so "caj.txt" is taken
    // for "Čaj.txt" -> "CAJ.txt"): always on Windows, on Linux for vfat, exFAT and casefolded
    // folders.
    virtual bool IgnoresCase(Folder& /*folder*/) { return false; }

    // The name the entry that `name` reaches in folder is stored under: its long name in its own
    // letter case, where the file system also finds it by a short name or in another case;
    // `name` itself when it cannot be told.
    virtual std::string StoredName(Folder& /*folder*/, const std::string& name) { return name; }
};

}  // namespace tovana
