// The file system on Linux: folders as descriptors, listing with getdents64, renames relative
// to the folder's descriptor with renameat2(RENAME_NOREPLACE), or where a file system lacks
// that flag (FUSE, NFS, SMB) with the strongest no-overwrite rename it has (see RenameMethod).
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <map>
#include <vector>

#include "rename/FileSystem.h"
#include "rename/Platform.h"

namespace tovana {

// The system calls the layer makes, each returning like the call itself (-1 and errno on
// failure). Tests derive from it to make any call fail.
class Syscalls {
  public:
    virtual ~Syscalls() = default;
    virtual int OpenAt(int dirFd, const char* path, int flags, mode_t mode = 0);
    virtual int Close(int fd);
    virtual ssize_t GetDents64(int fd, void* buffer, std::size_t size);
    virtual int FStatAt(int dirFd, const char* path, struct stat* st, int flags);
    virtual int RenameAt2(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath,
                          unsigned flags);
    virtual int LinkAt(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath);
    virtual int UnlinkAt(int dirFd, const char* path, int flags);
    virtual int MkdirAt(int dirFd, const char* path, mode_t mode);
    // Whether several threads may make these calls at once (through clones of one file
    // system): the system's own may; a test's that counts and plans failures in order may not.
    virtual bool Shared() const { return true; }
};

Syscalls& RealSyscalls();

class FileSystemPosix : public FileSystem {
  public:
    explicit FileSystemPosix(Syscalls& calls = RealSyscalls());

    std::unique_ptr<Folder> OpenFolder(const std::string& path, std::error_code& error) override;
    std::unique_ptr<Folder> OpenChosenFolder(Folder& parent, const std::string& name,
                                             std::error_code& error) override;
    std::unique_ptr<Folder> OpenSubfolder(Folder& parent, const std::string& name,
                                          std::error_code& error) override;
    std::error_code ReadEntries(Folder& folder, EntryList& entries) override;
    EntryKind KindOfLink(Folder& folder, const std::string& name) override;
    std::error_code Identify(Folder& folder, const std::string& name, EntryId& id) override;
    std::error_code Rename(Folder& folder, const std::string& from, const std::string& to) override;
    std::error_code RemoveExtraName(Folder& folder, const std::string& extra,
                                    const std::string& kept) override;
    std::error_code RemovePlaceholder(Folder& folder, const std::string& name) override;
    bool IgnoresCase(Folder& folder) override;
    std::string StoredName(Folder& folder, const std::string& name) override;
    bool RenamesFolders(Folder& folder) override;
    bool Remote(Folder& folder) override;
    std::unique_ptr<FileSystem> Clone() override;

    // What a file system was found to offer, remembered for the rest of the run.
    enum class Offer { Unknown, Yes, No };
    struct DeviceRenames {
        Offer noReplace = Offer::Unknown;
        Offer hardLinks = Offer::Unknown;
        Offer folderRenames = Offer::Unknown;  // No: renaming a folder loses its contents
        bool toldFile = false;                 // a fallback for files was reported
        bool toldFolder = false;               // a fallback for folders was reported
    };
    // The file systems met so far, by device number.
    const std::map<dev_t, DeviceRenames>& devices() const { return devices_; }

  private:
    std::unique_ptr<Folder> Open(int dirFd, const char* path, int flags, std::error_code& error);
    DeviceRenames* DeviceOf(Folder& folder);
    std::string NextTemporaryName();
    std::string NextProbeName();
    std::error_code NoOverwriteRename(Folder& folder, const std::string& from,
                                      const std::string& to);
    bool FlagMissing(int dirFd, DeviceRenames& device);
    std::error_code ListsBoth(int dirFd, const std::string& a, const std::string& b, bool& both);
    std::error_code FallbackRename(Folder& in, DeviceRenames* device, const std::string& from,
                                   const std::string& to);
    std::error_code CheckThenRename(int dirFd, const std::string& from, const std::string& to,
                                    const struct stat& source);
    std::error_code OtherEntryInAnyCase(int dirFd, const std::string& from, const std::string& to,
                                        bool& found);
    std::error_code ChangeCaseInPlace(Folder& in, DeviceRenames* device, const std::string& from,
                                      const std::string& to);
    std::error_code RenameThroughTemporary(Folder& folder, const std::string& from,
                                           const std::string& to);
    void Told(DeviceRenames* device, RenameMethod method, bool folder);

    Syscalls& calls_;
    std::vector<char> buffer_;
    unsigned temporaryCounter_ = 0;
    std::map<dev_t, DeviceRenames> devices_;
    DeviceRenames* lastDevice_ = nullptr;  // in devices_, whose elements stay where they are
    dev_t lastDeviceNumber_ = 0;
    unsigned clones_ = 0;
};

}  // namespace tovana
