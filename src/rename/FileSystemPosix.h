// The file system on Linux: folders as descriptors, listing with getdents64, renames with
// renameat2(RENAME_NOREPLACE) relative to the folder's descriptor.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <vector>

#include "rename/FileSystem.h"
#include "rename/Platform.h"

namespace tovana {

// The system calls the layer makes, each returning like the call itself (-1 and errno on
// failure). Tests derive from it to make any call fail.
class Syscalls {
  public:
    virtual ~Syscalls() = default;
    virtual int OpenAt(int dirFd, const char* path, int flags);
    virtual int Close(int fd);
    virtual ssize_t GetDents64(int fd, void* buffer, std::size_t size);
    virtual int FStatAt(int dirFd, const char* path, struct stat* st, int flags);
    virtual int RenameAt2(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath,
                          unsigned flags);
};

Syscalls& RealSyscalls();

class FileSystemPosix : public FileSystem {
  public:
    explicit FileSystemPosix(Syscalls& calls = RealSyscalls());

    std::unique_ptr<Folder> OpenFolder(const std::string& path, std::error_code& error) override;
    std::unique_ptr<Folder> OpenSubfolder(Folder& parent, const std::string& name,
                                          std::error_code& error) override;
    std::error_code ReadEntries(Folder& folder, std::vector<FolderEntry>& entries) override;
    std::error_code Rename(Folder& folder, const std::string& from, const std::string& to) override;
    bool IgnoresCase(Folder& folder) override;
    std::string StoredName(Folder& folder, const std::string& name) override;

  private:
    std::unique_ptr<Folder> Open(int dirFd, const char* path, int flags, std::error_code& error);
    bool KindOf(int dirFd, const char* name, unsigned char type, EntryKind& kind);
    bool SameEntry(int dirFd, const std::string& a, const std::string& b);
    std::error_code RenameThroughTemporary(int dirFd, const std::string& from,
                                           const std::string& to);

    Syscalls& calls_;
    std::vector<char> buffer_;
    unsigned temporaryCounter_ = 0;
};

}  // namespace tovana
