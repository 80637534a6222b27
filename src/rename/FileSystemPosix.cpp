#include "rename/FileSystemPosix.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace tovana {
namespace {

class PosixFolder : public Folder {
  public:
    PosixFolder(Syscalls& calls, int fd) : calls_(calls), fd_(fd) {}
    ~PosixFolder() override { calls_.Close(fd_); }
    PosixFolder(const PosixFolder&) = delete;
    PosixFolder& operator=(const PosixFolder&) = delete;
    int fd() const { return fd_; }

  private:
    Syscalls& calls_;
    int fd_;
};

int FdOf(Folder& folder) {
    return static_cast<PosixFolder&>(folder).fd();
}

std::error_code LastError() {
    return {errno, std::generic_category()};
}

bool IsDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

constexpr std::size_t kListingBuffer = 64 * 1024;

}  // namespace

int Syscalls::OpenAt(int dirFd, const char* path, int flags) {
    return ::openat(dirFd, path, flags);
}

int Syscalls::Close(int fd) {
    return ::close(fd);
}

ssize_t Syscalls::GetDents64(int fd, void* buffer, std::size_t size) {
    return ::syscall(SYS_getdents64, fd, buffer, size);
}

int Syscalls::FStatAt(int dirFd, const char* path, struct stat* st, int flags) {
    return ::fstatat(dirFd, path, st, flags);
}

int Syscalls::RenameAt2(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath,
                        unsigned flags) {
    return static_cast<int>(::syscall(SYS_renameat2, oldDirFd, oldPath, newDirFd, newPath, flags));
}

Syscalls& RealSyscalls() {
    static Syscalls calls;
    return calls;
}

FileSystemPosix::FileSystemPosix(Syscalls& calls) : calls_(calls), buffer_(kListingBuffer) {}

std::unique_ptr<Folder> FileSystemPosix::Open(int dirFd, const char* path, int flags,
                                              std::error_code& error) {
    const int fd = calls_.OpenAt(dirFd, path, flags | O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = LastError();
        return nullptr;
    }
    error.clear();
    return std::make_unique<PosixFolder>(calls_, fd);
}

std::unique_ptr<Folder> FileSystemPosix::OpenFolder(const std::string& path,
                                                    std::error_code& error) {
    return Open(AT_FDCWD, path.c_str(), 0, error);
}

std::unique_ptr<Folder> FileSystemPosix::OpenSubfolder(Folder& parent, const std::string& name,
                                                       std::error_code& error) {
    return Open(FdOf(parent), name.c_str(), O_NOFOLLOW, error);
}

bool FileSystemPosix::KindOf(int dirFd, const char* name, unsigned char type, EntryKind& kind) {
    struct stat st {};
    if (type == DT_UNKNOWN) {
        if (calls_.FStatAt(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            return false;
        }
        type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_REG;
    }
    if (type == DT_DIR) {
        kind = EntryKind::Folder;
    } else if (type == DT_LNK) {
        // A link whose target cannot be reached (dangling, a loop, no access) is a file.
        const bool toFolder = calls_.FStatAt(dirFd, name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        kind = toFolder ? EntryKind::FolderLink : EntryKind::File;
    } else {
        kind = EntryKind::File;
    }
    return true;
}

std::error_code FileSystemPosix::ReadEntries(Folder& folder, std::vector<FolderEntry>& entries) {
    const int fd = FdOf(folder);
    for (;;) {
        const ssize_t size = calls_.GetDents64(fd, buffer_.data(), buffer_.size());
        if (size < 0) {
            return LastError();
        }
        if (size == 0) {
            return {};
        }
        for (ssize_t offset = 0; offset < size;) {
            const auto* record = reinterpret_cast<const struct dirent64*>(buffer_.data() + offset);
            offset += record->d_reclen;
            const char* name = record->d_name;
            if (IsDotOrDotDot(name)) {
                continue;
            }
            EntryKind kind{};
            // An entry whose kind cannot be told is left alone: renaming a folder as a file
            // would go against the user's choice of folders.
            if (KindOf(fd, name, record->d_type, kind)) {
                entries.push_back({name, kind});
            }
        }
    }
}

bool FileSystemPosix::SameEntry(int dirFd, const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    return calls_.FStatAt(dirFd, a.c_str(), &sa, AT_SYMLINK_NOFOLLOW) == 0 &&
           calls_.FStatAt(dirFd, b.c_str(), &sb, AT_SYMLINK_NOFOLLOW) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::error_code FileSystemPosix::RenameThroughTemporary(int dirFd, const std::string& from,
                                                        const std::string& to) {
    std::string temporary;
    for (int attempt = 0;; ++attempt) {
        temporary =
            ".tovana-" + std::to_string(::getpid()) + "-" + std::to_string(temporaryCounter_++);
        if (calls_.RenameAt2(dirFd, from.c_str(), dirFd, temporary.c_str(), RENAME_NOREPLACE) ==
            0) {
            break;
        }
        if (errno != EEXIST || attempt == 100) {
            return LastError();
        }
    }
    if (calls_.RenameAt2(dirFd, temporary.c_str(), dirFd, to.c_str(), RENAME_NOREPLACE) == 0) {
        return {};
    }
    const std::error_code error = LastError();
    // Put the entry back under its old name; should even that fail, it stays under the
    // temporary name rather than being lost.
    calls_.RenameAt2(dirFd, temporary.c_str(), dirFd, from.c_str(), RENAME_NOREPLACE);
    return error;
}

std::error_code FileSystemPosix::Rename(Folder& folder, const std::string& from,
                                        const std::string& to) {
    const int fd = FdOf(folder);
    if (calls_.RenameAt2(fd, from.c_str(), fd, to.c_str(), RENAME_NOREPLACE) == 0) {
        return {};
    }
    const std::error_code error = LastError();
    // On a case-insensitive file system a change of letter case finds the entry itself under
    // the new name; two steps through a name of our own get there without replacing anything.
    if (error == std::errc::file_exists && SameEntry(fd, from, to)) {
        return RenameThroughTemporary(fd, from, to);
    }
    return error;
}

bool FileSystemPosix::IgnoresCase(Folder& folder) {
    const int fd = FdOf(folder);
    constexpr long kExfatMagic = 0x2011BAB0;  // not in every kernel's headers
    struct statfs fileSystem {};
    if (::fstatfs(fd, &fileSystem) == 0 &&
        (fileSystem.f_type == MSDOS_SUPER_MAGIC || fileSystem.f_type == kExfatMagic)) {
        return true;
    }
    // ext4 and f2fs fold case per folder, marked by a flag of the folder itself.
    long flags = 0;
    return ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_CASEFOLD_FL) != 0;
}

// Where the file system ignores case, the entry bearing the same inode is found by listing the
// folder through a descriptor of its own, so that the folder's own stays at its start.
std::string FileSystemPosix::StoredName(Folder& folder, const std::string& name) {
    struct stat wanted {};
    if (!IgnoresCase(folder) ||
        calls_.FStatAt(FdOf(folder), name.c_str(), &wanted, AT_SYMLINK_NOFOLLOW) != 0) {
        return name;
    }
    std::error_code error;
    const std::unique_ptr<Folder> listing = Open(FdOf(folder), ".", 0, error);
    std::vector<FolderEntry> entries;
    if (!listing || ReadEntries(*listing, entries)) {
        return name;
    }
    for (const FolderEntry& entry : entries) {
        struct stat st {};
        if (entry.name == name) {
            return name;
        }
        if (calls_.FStatAt(FdOf(folder), entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            st.st_dev == wanted.st_dev && st.st_ino == wanted.st_ino) {
            return entry.name;
        }
    }
    return name;
}

std::unique_ptr<FileSystem> MakeFileSystem() {
    return std::make_unique<FileSystemPosix>();
}

// Deep trees keep one descriptor open per level: the soft limit goes up to the hard one.
void RaiseOpenFileLimit() {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

}  // namespace tovana
