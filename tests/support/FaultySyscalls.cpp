#include "support/FaultySyscalls.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <strings.h>
#include <unistd.h>

namespace tovana::test {

bool FaultySyscalls::Fails(Call call, const std::string& name) {
    ++made[call];
    if (const int error = fault(call, name)) {
        errno = error;
        return true;
    }
    return false;
}

int FaultySyscalls::OpenAt(int dirFd, const char* path, int flags, mode_t mode) {
    if (Fails(Call::OpenAt, path)) {
        return -1;
    }
    const int fd = Syscalls::OpenAt(dirFd, path, flags, mode);
    openDescriptors += fd >= 0;
    return fd;
}

int FaultySyscalls::Close(int fd) {
    --openDescriptors;
    return Syscalls::Close(fd);
}

ssize_t FaultySyscalls::GetDents64(int fd, void* buffer, std::size_t size) {
    if (Fails(Call::GetDents, "")) {
        return -1;
    }
    return Syscalls::GetDents64(fd, buffer, size);
}

int FaultySyscalls::FStatAt(int dirFd, const char* path, struct stat* st, int flags) {
    if ((flags & AT_SYMLINK_NOFOLLOW) == 0 && *path != '\0') {
        followed.emplace_back(path);
    }
    if (Fails(Call::FStatAt, path)) {
        return -1;
    }
    return Syscalls::FStatAt(dirFd, path, st, flags);
}

int FaultySyscalls::RenameAt2(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath,
                              unsigned flags) {
    noReplaceRenames += (flags & RENAME_NOREPLACE) != 0;
    if (Fails(Call::RenameAt2, oldPath)) {
        return -1;
    }
    if (flags != 0 && !renameFlags) {
        errno = EINVAL;
        return -1;
    }
    return Syscalls::RenameAt2(oldDirFd, oldPath, newDirFd, newPath, flags);
}

int FaultySyscalls::LinkAt(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath) {
    if (Fails(Call::LinkAt, oldPath)) {
        return -1;
    }
    if (!hardLinks) {
        errno = EPERM;
        return -1;
    }
    return Syscalls::LinkAt(oldDirFd, oldPath, newDirFd, newPath);
}

int FaultySyscalls::UnlinkAt(int dirFd, const char* path, int flags) {
    if (Fails(Call::UnlinkAt, path)) {
        return -1;
    }
    return Syscalls::UnlinkAt(dirFd, path, flags);
}

int FaultySyscalls::MkdirAt(int dirFd, const char* path, mode_t mode) {
    if (Fails(Call::MkdirAt, path)) {
        return -1;
    }
    return Syscalls::MkdirAt(dirFd, path, mode);
}

std::string CaseInsensitiveSyscalls::Existing(int dirFd, const std::string& name) {
    const int fd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = ::fdopendir(fd);
    std::string found;
    while (const dirent* entry = ::readdir(dir)) {
        if (::strcasecmp(entry->d_name, name.c_str()) == 0) {
            found = entry->d_name;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

int CaseInsensitiveSyscalls::OpenAt(int dirFd, const char* path, int flags, mode_t mode) {
    if ((flags & O_CREAT) != 0 && (flags & O_EXCL) != 0 && !Existing(dirFd, path).empty()) {
        errno = EEXIST;
        return -1;
    }
    return FaultySyscalls::OpenAt(dirFd, path, flags, mode);
}

int CaseInsensitiveSyscalls::MkdirAt(int dirFd, const char* path, mode_t mode) {
    if (!Existing(dirFd, path).empty()) {
        errno = EEXIST;
        return -1;
    }
    return FaultySyscalls::MkdirAt(dirFd, path, mode);
}

int CaseInsensitiveSyscalls::FStatAt(int dirFd, const char* path, struct stat* st, int flags) {
    if (*path == '\0') {
        return FaultySyscalls::FStatAt(dirFd, path, st, flags);
    }
    const std::string existing = Existing(dirFd, path);
    return FaultySyscalls::FStatAt(dirFd, existing.empty() ? path : existing.c_str(), st, flags);
}

int CaseInsensitiveSyscalls::RenameAt2(int oldDirFd, const char* oldPath, int newDirFd,
                                       const char* newPath, unsigned flags) {
    if ((flags & RENAME_NOREPLACE) != 0 && !Existing(newDirFd, newPath).empty()) {
        errno = EEXIST;
        return -1;
    }
    return FaultySyscalls::RenameAt2(oldDirFd, oldPath, newDirFd, newPath, flags);
}

int CaseInsensitiveSyscalls::LinkAt(int oldDirFd, const char* oldPath, int newDirFd,
                                    const char* newPath) {
    if (!Existing(newDirFd, newPath).empty()) {
        errno = EEXIST;
        return -1;
    }
    return FaultySyscalls::LinkAt(oldDirFd, oldPath, newDirFd, newPath);
}

}  // namespace tovana::test
