// System calls that fail on request, and a case-insensitive view of a real folder, both on top
// of the real calls, so tests run on real temporary trees.
#pragma once

#include <cerrno>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "rename/FileSystemPosix.h"

namespace tovana::test {

enum class Call { OpenAt, GetDents, FStatAt, RenameAt2, LinkAt, UnlinkAt, MkdirAt };

class FaultySyscalls : public Syscalls {
  public:
    // Decides for each call (its kind and the name it is about) whether it fails, and with
    // which errno; 0 lets it through.
    std::function<int(Call, const std::string&)> fault = [](Call, const std::string&) { return 0; };
    int openDescriptors = 0;
    // A file system as FUSE, NFS and SMB mounts are: renameat2 with any flag answers EINVAL.
    bool renameFlags = true;
    // A file system without hard links (vfat, exfat): linkat answers EPERM.
    bool hardLinks = true;
    // How many calls of each kind were made (those made to fail included).
    std::map<Call, int> made;
    // renameat2 calls that carried RENAME_NOREPLACE.
    int noReplaceRenames = 0;
    // The names looked up through a link (fstatat following it), in order.
    std::vector<std::string> followed;

    int OpenAt(int dirFd, const char* path, int flags, mode_t mode = 0) override;
    int Close(int fd) override;
    ssize_t GetDents64(int fd, void* buffer, std::size_t size) override;
    int FStatAt(int dirFd, const char* path, struct stat* st, int flags) override;
    int RenameAt2(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath,
                  unsigned flags) override;
    int LinkAt(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath) override;
    int UnlinkAt(int dirFd, const char* path, int flags) override;
    int MkdirAt(int dirFd, const char* path, mode_t mode) override;
    // Counted and failed in the order of one thread: a run through them has no other.
    bool Shared() const override { return false; }

  private:
    bool Fails(Call call, const std::string& name);
};

// Behaves like a case-insensitive file system (vfat, exfat, casefolded ext4) for ASCII names:
// looking up a name finds an entry that differs only in letter case, and a rename onto such an
// entry is refused with EEXIST, as those file systems do under RENAME_NOREPLACE, as is a hard
// link onto it, and so is a name created exclusively.
class CaseInsensitiveSyscalls : public FaultySyscalls {
  public:
    int OpenAt(int dirFd, const char* path, int flags, mode_t mode = 0) override;
    int MkdirAt(int dirFd, const char* path, mode_t mode) override;
    int FStatAt(int dirFd, const char* path, struct stat* st, int flags) override;
    int RenameAt2(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath,
                  unsigned flags) override;
    int LinkAt(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath) override;

  private:
    std::string Existing(int dirFd, const std::string& name);
};

}  // namespace tovana::test
