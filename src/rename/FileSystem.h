// What a run needs of the file system: list a folder, open a subfolder, rename inside a folder.
// Each platform implements it in its own file; the run sees only this interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
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
    Link,  // a link whose target was not looked at: KindOfLink tells, when it matters
};

struct FolderEntry {
    std::string name;
    EntryKind kind;
};

// A folder's entries, stored compactly: the names one after another in blocks that are never
// moved, so a folder of a million entries costs little more than its names, and a deep tree's
// levels each hold only a small block.
class EntryList {
  public:
    void Add(std::string_view name, EntryKind kind);
    void push_back(const FolderEntry& entry) { Add(entry.name, entry.kind); }
    std::size_t size() const { return refs_.size(); }
    bool empty() const { return refs_.empty(); }
    std::string_view name(std::size_t i) const;
    EntryKind kind(std::size_t i) const;
    void clear();

  private:
    struct Ref {
        std::uint32_t block;
        std::uint32_t offset;  // of the record: kind, two bytes of length, the name
    };
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::vector<std::size_t> sizes_;  // each block's capacity
    std::size_t used_ = 0;            // bytes used in the last block
    std::vector<Ref> refs_;
};

// Which entry a name refers to (the link itself for a link): the same value later means the
// same entry still stands under that name.
struct EntryId {
    std::uint64_t device = 0;
    std::uint64_t number = 0;
    bool operator==(const EntryId&) const = default;
};

// How a file system renames without replacing anything. A file system without the system's
// no-overwrite rename (FUSE: ntfs-3g, exfat-fuse, bindfs, fuse2fs; NFS; SMB) gets one of the
// fallbacks, chosen once per file system for the whole run.
enum class RenameMethod {
    NoReplace,        // renameat2(RENAME_NOREPLACE): atomic, never replaces
    LinkThenUnlink,   // files: a hard link under the new name (atomic, fails when the name is
                      // taken), then the old name removed
    CheckThenRename,  // folders, and files where there are no hard links: the new name claimed
                      // by an empty entry created exclusively, a plain rename over it while it
                      // is still that entry, and the result checked after
    NotAtAll,         // folders on a file system known to lose a renamed folder's contents
                      // (fusefat): they are not renamed, each such rename fails
};

const char* RenameMethodText(RenameMethod method);

// A name as file systems that ignore letter case compare it: every character through the
// simple upper-case mapping (the rules' own), bytes that are not UTF-8 as they are.
std::string CaseKey(std::string_view name);

// Whether two names differ in letter case alone, by that comparison.
bool CaseOnlyChange(std::string_view from, std::string_view to);

// What a rename tells the run besides its result. The run passes them on to its sink.
class RenameNotes {
  public:
    virtual ~RenameNotes() = default;
    // A change of letter case alone goes through a temporary name in the same folder. Told
    // before the entry `from` is moved to `temporary` (leftThere false), and again should it
    // have to stay there, moved neither on to its new name nor back (leftThere true).
    virtual void TemporaryName(const std::string& from, const std::string& temporary,
                               bool leftThere) = 0;
    // The first time a fallback is used on a file system for a file or for a folder.
    virtual void Fallback(RenameMethod method, bool folder) = 0;
};

// An open folder. Renames and subfolders are reached through it, not through a path, so a
// folder swapped for a link during a run cannot redirect them elsewhere. (On Windows the folder
// is a held handle and the renames go by path: the handle keeps the folder from being removed
// or renamed meanwhile, which has the same effect.)
class Folder {
  public:
    virtual ~Folder() = default;
};

// What every implementation keeps, and every decorator (SlowFileSystem, DryRunFileSystem)
// keeps by passing the call on:
// - Rename never replaces an entry, whatever the file system offers; when it cannot be sure,
//   it fails and nothing changes.
// - Only OpenFolder, OpenChosenFolder (the links the user named) and KindOfLink follow a link;
//   OpenSubfolder and ReadEntries never wait on or walk into what a link points to.
// - Every rename the run did not ask for (a temporary name on the way to a change of letter
//   case) is told to the notes before it is made, and again when the entry is left there.
// - Errors are the system's own (errno, or the Windows error code) as std::error_code; ReasonOf
//   reads them into the same FailReason on every platform.
// - An instance is used from one thread at a time: a window runs every operation on its one
//   worker thread, never two at once. A run with several workers gives each its own instance
//   (Clone); a Folder opened by one instance may be used by another, by one thread at a time,
//   and to open its subfolders by several at once.
class FileSystem {
  public:
    virtual ~FileSystem() = default;

    // Opens a folder the user named by its path (links in the path are followed).
    virtual std::unique_ptr<Folder> OpenFolder(const std::string& path, std::error_code& error) = 0;

    // Opens the folder the user chose, by its name in its parent, following it when it is a
    // link (the user named it). A chosen path that is not a folder gives not_a_directory.
    virtual std::unique_ptr<Folder> OpenChosenFolder(Folder& parent, const std::string& name,
                                                     std::error_code& error) = 0;

    // Opens a subfolder by name; fails rather than follow a link.
    virtual std::unique_ptr<Folder> OpenSubfolder(Folder& parent, const std::string& name,
                                                  std::error_code& error) = 0;

    // Appends the folder's entries, "." and ".." left out. An error ends the listing; the
    // entries read before it stay in `entries`. Links may be listed as EntryKind::Link: the
    // listing never waits on what a link points to.
    virtual std::error_code ReadEntries(Folder& folder, EntryList& entries) = 0;

    // Follows the link `name` to tell a link to a folder (FolderLink) from any other (File).
    virtual EntryKind KindOfLink(Folder& /*folder*/, const std::string& /*name*/) {
        return EntryKind::File;
    }

    // False where the file system is known to lose a folder's contents when it renames the
    // folder (fusefat); a rename of a folder there fails with operation_not_supported.
    virtual bool RenamesFolders(Folder& /*folder*/) { return true; }

    // The entry `name` in folder, not following a link ("." is the folder itself). Where the
    // platform cannot tell, function_not_supported, and the run goes without the check.
    virtual std::error_code Identify(Folder& /*folder*/, const std::string& /*name*/,
                                     EntryId& /*id*/) {
        return std::make_error_code(std::errc::function_not_supported);
    }

    // Renames `from` to `to` inside folder. Never replaces an existing entry: when `to` is
    // taken (or cannot be checked), the rename fails and nothing changes. A change of letter
    // case only succeeds on case-insensitive file systems too.
    virtual std::error_code Rename(Folder& folder, const std::string& from,
                                   const std::string& to) = 0;

    // Removes the name `extra` where it and `kept` are two names, both listed in folder, of one
    // regular file: what is left when a rename through a hard link (RenameMethod::
    // LinkThenUnlink) was stopped between the link and the removal of the old name. Anything
    // else fails, file_exists for two different entries, and nothing changes.
    virtual std::error_code RemoveExtraName(Folder& /*folder*/, const std::string& /*extra*/,
                                            const std::string& /*kept*/) {
        return std::make_error_code(std::errc::file_exists);
    }

    // Removes `name` where it is an empty entry such as a rename where there are no hard links
    // claims the new name with (RenameMethod::CheckThenRename): a file of size 0 with no other
    // name, or an empty folder; left by a run killed between the claim and the rename. Anything
    // else fails and stays.
    virtual std::error_code RemovePlaceholder(Folder& /*folder*/, const std::string& /*name*/) {
        return std::make_error_code(std::errc::function_not_supported);
    }

    // Whether the folder tells names apart regardless of letter case (so "caj.txt" is taken
    // for "Čaj.txt" -> "CAJ.txt"): always on Windows, on Linux for vfat, exFAT and casefolded
    // folders.
    virtual bool IgnoresCase(Folder& /*folder*/) { return false; }

    // The name the entry that `name` reaches in folder is stored under: its long name in its own
    // letter case, where the file system also finds it by a short name or in another case;
    // `name` itself when it cannot be told.
    virtual std::string StoredName(Folder& /*folder*/, const std::string& name) { return name; }

    // Whether the folder is on a file system where each call is a round trip that takes a
    // while (FUSE, NFS, SMB, 9p): there several renames at once are worth their threads.
    virtual bool Remote(Folder& /*folder*/) { return false; }

    // Another instance over the same file system, for another thread: it keeps state of its
    // own (what each device was found to offer, temporary names that never meet the other
    // instances'). Null where the file system has none to give; a run then has one worker.
    virtual std::unique_ptr<FileSystem> Clone() { return nullptr; }

    // Who hears of temporary names and fallbacks; null for no one. A file system that passes
    // its calls on to another (a decorator) passes this on too.
    virtual void SetNotes(RenameNotes* notes) { notes_ = notes; }

  protected:
    RenameNotes* notes() const { return notes_; }

  private:
    RenameNotes* notes_ = nullptr;
};

}  // namespace tovana
