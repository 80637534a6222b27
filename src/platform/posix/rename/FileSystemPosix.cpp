#include "rename/FileSystemPosix.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>

namespace tovana {
namespace {

// A descriptor, closed once through the calls that opened it: by Close or by its owner's end.
class Descriptor {
  public:
    Descriptor(Syscalls& calls, int fd) : calls_(calls), fd_(fd) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    bool open() const { return fd_ >= 0; }
    void Close() {
        if (fd_ >= 0) {
            calls_.Close(fd_);
            fd_ = -1;
        }
    }

  private:
    Syscalls& calls_;
    int fd_;
};

class PosixFolder : public Folder {
  public:
    PosixFolder(Syscalls& calls, int fd) : fd_(calls, fd) {}
    int fd() const { return fd_.get(); }

    bool listable = true;  // false when opened only to reach names in it (O_PATH)
    enum class Device { Unknown, Known, Unavailable };
    Device device = Device::Unknown;
    dev_t deviceNumber = 0;

  private:
    Descriptor fd_;
};

PosixFolder& PosixOf(Folder& folder) {
    return static_cast<PosixFolder&>(folder);
}

int FdOf(Folder& folder) {
    return PosixOf(folder).fd();
}

std::error_code LastError() {
    return {errno, std::generic_category()};
}

std::error_code ErrorOf(int error) {
    return {error, std::generic_category()};
}

bool IsDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Calls `each` with every name the folder lists, "." and ".." included, read afresh through a
// descriptor of its own: the listing is the file system's own answer, where a lookup may be
// answered from the kernel's cache (which on FUSE keeps a name that differs from an entry's in
// case alone for a while).
template <typename Each>
std::error_code EachListedName(Syscalls& calls, std::vector<char>& buffer, int dirFd, Each each) {
    const Descriptor listing(calls, calls.OpenAt(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!listing.open()) {
        return LastError();
    }
    for (;;) {
        const ssize_t size = calls.GetDents64(listing.get(), buffer.data(), buffer.size());
        if (size <= 0) {
            return size < 0 ? LastError() : std::error_code();
        }
        for (ssize_t offset = 0; offset < size;) {
            const auto* record = reinterpret_cast<const struct dirent64*>(buffer.data() + offset);
            offset += record->d_reclen;
            each(record->d_name);
        }
    }
}

bool SameInode(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// After a plain rename: the new name must hold the entry renamed. When it holds another, the
// name changed hands in the moment before the rename, and the rename is reported failed.
std::error_code ChangedHands(Syscalls& calls, int dirFd, const std::string& to,
                             const struct stat& source) {
    struct stat st {};
    if (calls.FStatAt(dirFd, to.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        (!SameInode(st, source) || (st.st_mode & S_IFMT) != (source.st_mode & S_IFMT))) {
        return std::make_error_code(std::errc::device_or_resource_busy);
    }
    return {};
}

// Whether a refused hard link means the file system has none (vfat, exfat, SMB without
// extensions), rather than that this one file may not be linked: a file of one's own (or
// any file, for root) may always be linked where links exist at all.
bool LinksMissing(int error, const struct stat& source) {
    if (error == EOPNOTSUPP || error == ENOSYS) {
        return true;
    }
    return error == EPERM && (::geteuid() == 0 || source.st_uid == ::geteuid());
}

constexpr std::size_t kListingBuffer = 64 * 1024;

constexpr char kProbePrefix[] = ".tovana-probe-";

// The process whose probe folder `name` is (".tovana-probe-PID-N"), or 0 for any other name.
pid_t ProbeOwner(const char* name) {
    const std::size_t prefix = sizeof kProbePrefix - 1;
    if (std::strncmp(name, kProbePrefix, prefix) != 0) {
        return 0;
    }
    const char* p = name + prefix;
    long pid = 0;
    for (; *p >= '0' && *p <= '9' && pid < (1L << 30); ++p) {
        pid = pid * 10 + (*p - '0');
    }
    if (*p++ != '-' || *p == '\0') {
        return 0;
    }
    for (; *p >= '0' && *p <= '9'; ++p) {
    }
    return *p == '\0' ? static_cast<pid_t>(pid) : 0;
}

// The type of the file system mounted from a device, as /proc/self/mountinfo names it
// ("ext4", "fuse.fusefat", "fuseblk"), or "" when it cannot be told.
std::string MountType(dev_t device) {
    std::ifstream mounts("/proc/self/mountinfo");
    const std::string number = std::to_string(major(device)) + ":" + std::to_string(minor(device));
    for (std::string line; std::getline(mounts, line);) {
        // ID PARENT MAJOR:MINOR ROOT MOUNT-POINT OPTIONS [TAGS...] - TYPE SOURCE OPTIONS
        const std::size_t first = line.find(' ');
        const std::size_t second = line.find(' ', first + 1);
        const std::size_t third = line.find(' ', second + 1);
        const std::size_t dash = line.find(" - ");
        if (third == std::string::npos || dash == std::string::npos ||
            line.compare(second + 1, third - second - 1, number) != 0) {
            continue;
        }
        const std::size_t end = line.find(' ', dash + 3);
        return line.substr(dash + 3, end == std::string::npos ? end : end - dash - 3);
    }
    return {};
}

// fusefat loses a folder's contents when it renames the folder (seen with fusefat 1.0: the
// folder comes out empty, its clusters orphaned; mv does the same).
bool LosesRenamedFoldersContents(dev_t device) {
    return MountType(device) == "fuse.fusefat";
}

}  // namespace

int Syscalls::OpenAt(int dirFd, const char* path, int flags, mode_t mode) {
    return ::openat(dirFd, path, flags, mode);
}

int Syscalls::Close(int fd) {
    return ::close(fd);
}

int Syscalls::LinkAt(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath) {
    return ::linkat(oldDirFd, oldPath, newDirFd, newPath, 0);
}

int Syscalls::UnlinkAt(int dirFd, const char* path, int flags) {
    return ::unlinkat(dirFd, path, flags);
}

int Syscalls::MkdirAt(int dirFd, const char* path, mode_t mode) {
    return ::mkdirat(dirFd, path, mode);
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

// A folder that may be passed through but not read (the chosen folder's parent can be such
// a one) is still opened, to reach the names in it.
std::unique_ptr<Folder> FileSystemPosix::OpenFolder(const std::string& path,
                                                    std::error_code& error) {
    auto folder = Open(AT_FDCWD, path.c_str(), 0, error);
    if (!folder && error == std::errc::permission_denied) {
        const int fd = calls_.OpenAt(AT_FDCWD, path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            auto passable = std::make_unique<PosixFolder>(calls_, fd);
            passable->listable = false;
            folder = std::move(passable);
        }
    }
    return folder;
}

std::unique_ptr<Folder> FileSystemPosix::OpenChosenFolder(Folder& parent, const std::string& name,
                                                          std::error_code& error) {
    return Open(FdOf(parent), name.c_str(), 0, error);
}

std::unique_ptr<Folder> FileSystemPosix::OpenSubfolder(Folder& parent, const std::string& name,
                                                       std::error_code& error) {
    return Open(FdOf(parent), name.c_str(), O_NOFOLLOW, error);
}

std::error_code FileSystemPosix::ReadEntries(Folder& folder, EntryList& entries) {
    if (!PosixOf(folder).listable) {
        return std::make_error_code(std::errc::permission_denied);
    }
    const int fd = FdOf(folder);
    std::vector<std::string> leftProbes;
    for (;;) {
        const ssize_t size = calls_.GetDents64(fd, buffer_.data(), buffer_.size());
        if (size <= 0) {
            const std::error_code error = size < 0 ? LastError() : std::error_code();
            for (const std::string& probe : leftProbes) {
                calls_.UnlinkAt(fd, probe.c_str(), AT_REMOVEDIR);  // only ever an empty one
            }
            return error;
        }
        for (ssize_t offset = 0; offset < size;) {
            const auto* record = reinterpret_cast<const struct dirent64*>(buffer_.data() + offset);
            offset += record->d_reclen;
            const char* name = record->d_name;
            if (IsDotOrDotDot(name)) {
                continue;
            }
            unsigned char type = record->d_type;
            if (type == DT_UNKNOWN) {
                // An entry whose kind cannot be told is left alone: renaming a folder as a
                // file would go against the user's choice of folders.
                struct stat st {};
                if (calls_.FStatAt(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                    continue;
                }
                type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_REG;
            }
            // A probe's folder is no entry of the user's: one left by a process that is gone
            // (killed while it probed) is removed once the listing is read.
            if (type == DT_DIR && name[0] == '.') {
                if (const pid_t owner = ProbeOwner(name); owner > 0) {
                    if (owner != ::getpid() && ::kill(owner, 0) != 0 && errno == ESRCH) {
                        leftProbes.emplace_back(name);
                    }
                    continue;
                }
            }
            // A link is not followed here: its target may sit on a mount that never answers.
            entries.Add(name, type == DT_DIR   ? EntryKind::Folder
                              : type == DT_LNK ? EntryKind::Link
                                               : EntryKind::File);
        }
    }
}

// A link whose target cannot be reached (dangling, a loop, no access) is a file.
EntryKind FileSystemPosix::KindOfLink(Folder& folder, const std::string& name) {
    struct stat st {};
    const bool toFolder =
        calls_.FStatAt(FdOf(folder), name.c_str(), &st, 0) == 0 && S_ISDIR(st.st_mode);
    return toFolder ? EntryKind::FolderLink : EntryKind::File;
}

std::error_code FileSystemPosix::Identify(Folder& folder, const std::string& name, EntryId& id) {
    struct stat st {};
    if (calls_.FStatAt(FdOf(folder), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return LastError();
    }
    id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    return {};
}

FileSystemPosix::DeviceRenames* FileSystemPosix::DeviceOf(Folder& folder) {
    PosixFolder& posix = PosixOf(folder);
    if (posix.device == PosixFolder::Device::Unknown) {
        struct stat st {};
        if (calls_.FStatAt(posix.fd(), "", &st, AT_EMPTY_PATH) == 0) {
            posix.device = PosixFolder::Device::Known;
            posix.deviceNumber = st.st_dev;
        } else {
            posix.device = PosixFolder::Device::Unavailable;
        }
    }
    if (posix.device != PosixFolder::Device::Known) {
        return nullptr;
    }
    // A run's renames are nearly all on one device.
    if (lastDevice_ == nullptr || lastDeviceNumber_ != posix.deviceNumber) {
        lastDevice_ = &devices_[posix.deviceNumber];
        lastDeviceNumber_ = posix.deviceNumber;
    }
    return lastDevice_;
}

// The temporary names are ".tovana-PID-N": the process's id and a count kept by this file
// system from 0, so a run's temporary names can be told from the names of other runs and
// foreseen by anyone who knows the process; an entry left under one is found by that prefix.
std::string FileSystemPosix::NextTemporaryName() {
    return ".tovana-" + std::to_string(::getpid()) + "-" + std::to_string(temporaryCounter_++);
}

// The probe's folders are ".tovana-probe-PID-N": a process killed while it probes leaves an
// empty one, which the next listing of that folder removes (see ReadEntries).
std::string FileSystemPosix::NextProbeName() {
    return std::string(kProbePrefix) + std::to_string(::getpid()) + "-" +
           std::to_string(temporaryCounter_++);
}

void FileSystemPosix::Told(DeviceRenames* device, RenameMethod method, bool folder) {
    if (device != nullptr) {
        bool& told = folder ? device->toldFolder : device->toldFile;
        if (told) {
            return;
        }
        told = true;
    }
    if (RenameNotes* listener = notes()) {
        listener->Fallback(method, folder);
    }
}

// EINVAL from renameat2 says either that the file system does not take the flag (FUSE, NFS)
// or that it does not take the new name (vfat and a name it forbids). A rename of a folder
// of our own, made for the purpose, tells which; the answer holds for the whole file system.
bool FileSystemPosix::FlagMissing(int dirFd, DeviceRenames& device) {
    if (device.noReplace != Offer::Unknown) {
        return device.noReplace == Offer::No;
    }
    const std::string probe = NextProbeName();
    if (calls_.MkdirAt(dirFd, probe.c_str(), 0700) != 0) {
        return true;  // cannot tell: this once, as if the flag were missing
    }
    const std::string moved = NextProbeName();
    const int result =
        calls_.RenameAt2(dirFd, probe.c_str(), dirFd, moved.c_str(), RENAME_NOREPLACE);
    const int error = errno;
    calls_.UnlinkAt(dirFd, (result == 0 ? moved : probe).c_str(), AT_REMOVEDIR);
    if (result == 0) {
        device.noReplace = Offer::Yes;
        return false;
    }
    if (error == EINVAL || error == ENOSYS) {
        device.noReplace = Offer::No;
    }
    return true;
}

// The plain rename replaces whatever holds the new name by then, so the new name is claimed
// first: created exclusively (O_CREAT|O_EXCL for a file, mkdir for a folder), which fails when
// it is taken and keeps any other program from creating it exclusively from then on. The
// rename goes over that placeholder only while it is still the empty entry made here (same
// identity, a file of size 0 or a folder); otherwise, or when the rename fails, the
// placeholder goes again if it is still ours, and the rename fails. A folder replaces an empty
// folder at most (the kernel refuses a folder with anything in it), never a file. What
// remains is the moment between the last look at the placeholder and the rename: a program
// that writes into the placeholder itself then (opening the name without O_EXCL) or renames
// its own entry over it loses that entry; its writes are seen afterwards, through the
// placeholder's descriptor held open, and the rename is reported failed. After the rename the
// new name is checked again to hold the entry renamed; when it holds another, the rename is
// reported failed (the name changed hands).
std::error_code FileSystemPosix::CheckThenRename(int dirFd, const std::string& from,
                                                 const std::string& to, const struct stat& source) {
    const bool folder = S_ISDIR(source.st_mode);
    if (folder && calls_.MkdirAt(dirFd, to.c_str(), 0700) != 0) {
        return LastError();
    }
    // The placeholder file's descriptor.
    Descriptor held(
        calls_, folder ? -1
                       : calls_.OpenAt(dirFd, to.c_str(),
                                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!folder && !held.open()) {
        return LastError();
    }
    struct stat claimed {};
    const bool known = (folder ? calls_.FStatAt(dirFd, to.c_str(), &claimed, AT_SYMLINK_NOFOLLOW)
                               : calls_.FStatAt(held.get(), "", &claimed, AT_EMPTY_PATH)) == 0;
    const auto stillOurs = [&](const struct stat& now) {
        return known && SameInode(now, claimed) &&
               (now.st_mode & S_IFMT) == (claimed.st_mode & S_IFMT) && (folder || now.st_size == 0);
    };
    // Without its identity the placeholder is still told by being empty (a folder is only
    // ever removed empty).
    const auto release = [&](std::error_code error) {
        struct stat now {};
        if (calls_.FStatAt(dirFd, to.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
            (known ? stillOurs(now)
                   : (folder ? S_ISDIR(now.st_mode) : S_ISREG(now.st_mode) && now.st_size == 0))) {
            calls_.UnlinkAt(dirFd, to.c_str(), folder ? AT_REMOVEDIR : 0);
        }
        return error;
    };
    struct stat now {};
    if (!known || calls_.FStatAt(dirFd, to.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
        !stillOurs(now)) {
        return release(std::make_error_code(std::errc::file_exists));
    }
    if (calls_.RenameAt2(dirFd, from.c_str(), dirFd, to.c_str(), 0) != 0) {
        return release(LastError());
    }
    const bool written =
        held.open() && calls_.FStatAt(held.get(), "", &now, AT_EMPTY_PATH) == 0 && now.st_size != 0;
    held.Close();
    if (written) {
        return std::make_error_code(std::errc::device_or_resource_busy);
    }
    return ChangedHands(calls_, dirFd, to, source);
}

bool FileSystemPosix::RenamesFolders(Folder& folder) {
    DeviceRenames* device = DeviceOf(folder);
    if (device == nullptr) {
        return true;
    }
    if (device->folderRenames == Offer::Unknown) {
        device->folderRenames =
            LosesRenamedFoldersContents(PosixOf(folder).deviceNumber) ? Offer::No : Offer::Yes;
    }
    return device->folderRenames == Offer::Yes;
}

std::error_code FileSystemPosix::FallbackRename(Folder& in, DeviceRenames* device,
                                                const std::string& from, const std::string& to) {
    const int dirFd = FdOf(in);
    struct stat source {};
    if (calls_.FStatAt(dirFd, from.c_str(), &source, AT_SYMLINK_NOFOLLOW) != 0) {
        return LastError();
    }
    const bool folder = S_ISDIR(source.st_mode);
    if (!folder && (device == nullptr || device->hardLinks != Offer::No)) {
        // A hard link is made under the new name only when that name is free, atomically.
        if (calls_.LinkAt(dirFd, from.c_str(), dirFd, to.c_str()) == 0) {
            if (device != nullptr) {
                device->hardLinks = Offer::Yes;
            }
            Told(device, RenameMethod::LinkThenUnlink, false);
            // The old name goes while it still names the entry linked. Should it name another
            // by now (replaced in the moment since the link), the entry is already under its
            // new name alone and the other stays; the moment between this check and the
            // removal is the window that remains.
            // A check that cannot be made is taken as passed; an old name gone by the removal
            // is as good as removed.
            struct stat now {};
            if (calls_.FStatAt(dirFd, from.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
                !SameInode(now, source)) {
                return {};
            }
            if (calls_.UnlinkAt(dirFd, from.c_str(), 0) == 0) {
                return {};
            }
            const std::error_code error = LastError();
            if (error == std::errc::no_such_file_or_directory &&
                (calls_.FStatAt(dirFd, from.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
                 !SameInode(now, source))) {
                return {};
            }
            // The entry keeps its old name; the new one goes again.
            calls_.UnlinkAt(dirFd, to.c_str(), 0);
            return error;
        }
        const int error = errno;
        if (error == EEXIST) {
            return ErrorOf(error);
        }
        if (LinksMissing(error, source)) {
            if (device != nullptr) {
                device->hardLinks = Offer::No;
            }
        } else if (error != EPERM && error != EMLINK) {
            return ErrorOf(error);
        }
    }
    Told(device, RenameMethod::CheckThenRename, folder);
    return CheckThenRename(dirFd, from, to, source);
}

std::error_code FileSystemPosix::NoOverwriteRename(Folder& folder, const std::string& from,
                                                   const std::string& to) {
    const int fd = FdOf(folder);
    DeviceRenames* device = DeviceOf(folder);
    if (device == nullptr || device->noReplace != Offer::No) {
        if (calls_.RenameAt2(fd, from.c_str(), fd, to.c_str(), RENAME_NOREPLACE) == 0) {
            if (device != nullptr) {
                device->noReplace = Offer::Yes;
            }
            return {};
        }
        const int error = errno;
        bool missing = error == ENOSYS;
        if (error == EINVAL) {
            missing = device == nullptr || FlagMissing(fd, *device);
        } else if (missing && device != nullptr) {
            device->noReplace = Offer::No;
        }
        if (!missing) {
            return ErrorOf(error);
        }
    }
    return FallbackRename(folder, device, from, to);
}

std::error_code FileSystemPosix::RenameThroughTemporary(Folder& folder, const std::string& from,
                                                        const std::string& to) {
    RenameNotes* listener = notes();
    std::string temporary;
    for (int attempt = 0;; ++attempt) {
        temporary = NextTemporaryName();
        if (listener != nullptr) {
            listener->TemporaryName(from, temporary, false);
        }
        const std::error_code error = NoOverwriteRename(folder, from, temporary);
        if (!error) {
            break;
        }
        if (error != std::errc::file_exists || attempt == 100) {
            return error;
        }
    }
    const std::error_code error = NoOverwriteRename(folder, temporary, to);
    if (!error) {
        return {};
    }
    // Back under its old name; should that have been taken meanwhile, on to the new one after
    // all; should both fail, it stays under the temporary name, and the run is told so.
    if (!NoOverwriteRename(folder, temporary, from)) {
        return error;
    }
    if (!NoOverwriteRename(folder, temporary, to)) {
        return {};
    }
    if (listener != nullptr) {
        listener->TemporaryName(from, temporary, true);
    }
    return error;
}

// Whether the folder lists an entry other than `from` whose name is `to` in any letter case
// (the listing, not a lookup: see EachListedName).
std::error_code FileSystemPosix::OtherEntryInAnyCase(int dirFd, const std::string& from,
                                                     const std::string& to, bool& found) {
    found = false;
    const std::string key = CaseKey(to);
    return EachListedName(calls_, buffer_, dirFd, [&](const char* name) {
        if (!IsDotOrDotDot(name) && name != from && (name == to || CaseKey(name) == key)) {
            found = true;
        }
    });
}

// A change of letter case alone where every rename is a plain one: the listing tells whether
// the new name is taken by another entry or only by the entry itself on a file system that
// ignores case; in that case one plain rename changes the case (as mv does), as it does on a
// file system that keeps case. The moment between the listing and the rename is the window of
// CheckThenRename.
std::error_code FileSystemPosix::ChangeCaseInPlace(Folder& in, DeviceRenames* device,
                                                   const std::string& from, const std::string& to) {
    const int dirFd = FdOf(in);
    struct stat source {};
    if (calls_.FStatAt(dirFd, from.c_str(), &source, AT_SYMLINK_NOFOLLOW) != 0) {
        return LastError();
    }
    bool taken = false;
    if (const std::error_code error = OtherEntryInAnyCase(dirFd, from, to, taken)) {
        return error;
    }
    if (taken) {
        return std::make_error_code(std::errc::file_exists);
    }
    Told(device, RenameMethod::CheckThenRename, S_ISDIR(source.st_mode));
    if (calls_.RenameAt2(dirFd, from.c_str(), dirFd, to.c_str(), 0) != 0) {
        return LastError();
    }
    return ChangedHands(calls_, dirFd, to, source);
}

// A change of letter case alone finds, on a file system that ignores case, the entry itself
// under the new name. Where renameat2(RENAME_NOREPLACE) works, two steps through a name of our
// own get there, each atomic; where it does not, the listing decides (ChangeCaseInPlace). Only
// such a change takes these ways: two hard links of one file are two entries.
std::error_code FileSystemPosix::Rename(Folder& folder, const std::string& from,
                                        const std::string& to) {
    if (!RenamesFolders(folder)) {
        struct stat source {};
        if (calls_.FStatAt(FdOf(folder), from.c_str(), &source, AT_SYMLINK_NOFOLLOW) != 0) {
            return LastError();
        }
        if (S_ISDIR(source.st_mode)) {
            Told(DeviceOf(folder), RenameMethod::NotAtAll, true);
            return std::make_error_code(std::errc::operation_not_supported);
        }
    }
    const std::error_code error = NoOverwriteRename(folder, from, to);
    if (error != std::errc::file_exists || !CaseOnlyChange(from, to)) {
        return error;
    }
    DeviceRenames* device = DeviceOf(folder);
    if (device != nullptr && device->noReplace == Offer::Unknown) {
        FlagMissing(FdOf(folder), *device);  // the two ways differ: find out which is there
    }
    if (device != nullptr && device->noReplace == Offer::No) {
        return ChangeCaseInPlace(folder, device, from, to);
    }
    return RenameThroughTemporary(folder, from, to);
}

// Whether the folder lists both `a` and `b` as names of their own: where a file system ignores
// letter case or normalizes names, two names can reach one entry, and removing one would
// remove the entry itself.
std::error_code FileSystemPosix::ListsBoth(int dirFd, const std::string& a, const std::string& b,
                                           bool& both) {
    bool seenA = false;
    bool seenB = false;
    const std::error_code error = EachListedName(calls_, buffer_, dirFd, [&](const char* name) {
        seenA = seenA || a == name;
        seenB = seenB || b == name;
    });
    both = seenA && seenB;
    return error;
}

// Two names of one regular file, each listed as a name of its own: removing `extra` loses no
// data, the file stays under `kept`. A folder cannot have two names, and a file with a single
// link is never removed. The moment between the checks and the removal is a window: an entry
// another program puts under `extra` in it would be removed (the same window as the removal of
// the old name in a rename through a hard link).
std::error_code FileSystemPosix::RemoveExtraName(Folder& folder, const std::string& extra,
                                                 const std::string& kept) {
    const int dirFd = FdOf(folder);
    struct stat extraSt {};
    struct stat keptSt {};
    if (extra == kept || calls_.FStatAt(dirFd, extra.c_str(), &extraSt, AT_SYMLINK_NOFOLLOW) != 0 ||
        calls_.FStatAt(dirFd, kept.c_str(), &keptSt, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(extraSt.st_mode) || !SameInode(extraSt, keptSt) || extraSt.st_nlink < 2) {
        return std::make_error_code(std::errc::file_exists);
    }
    bool both = false;
    if (ListsBoth(dirFd, extra, kept, both) || !both) {
        return std::make_error_code(std::errc::file_exists);
    }
    if (calls_.UnlinkAt(dirFd, extra.c_str(), 0) != 0) {
        return LastError();
    }
    return {};
}

std::error_code FileSystemPosix::RemovePlaceholder(Folder& folder, const std::string& name) {
    const int dirFd = FdOf(folder);
    struct stat st {};
    if (calls_.FStatAt(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return LastError();
    }
    if (!S_ISDIR(st.st_mode) && !(S_ISREG(st.st_mode) && st.st_size == 0 && st.st_nlink == 1)) {
        return std::make_error_code(std::errc::file_exists);
    }
    if (calls_.UnlinkAt(dirFd, name.c_str(), S_ISDIR(st.st_mode) ? AT_REMOVEDIR : 0) != 0) {
        return LastError();  // a folder with anything in it stays
    }
    return {};
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
    EntryList entries;
    if (!listing || ReadEntries(*listing, entries)) {
        return name;
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string entry(entries.name(i));
        struct stat st {};
        if (entry == name) {
            return name;
        }
        if (calls_.FStatAt(FdOf(folder), entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            st.st_dev == wanted.st_dev && st.st_ino == wanted.st_ino) {
            return entry;
        }
    }
    return name;
}

bool FileSystemPosix::Remote(Folder& folder) {
    // FUSE, NFS, SMB, CIFS, SMB2, 9p, Ceph, AFS; not in every kernel's headers. The type is
    // compared in 32 bits: some systems give it sign-extended.
    constexpr std::uint32_t kRemote[] = {0x65735546, 0x6969,     0x517B,     0xFF534D42,
                                         0xFE534D42, 0x01021997, 0x00C36400, 0x6B414653};
    struct statfs fileSystem {};
    if (::fstatfs(FdOf(folder), &fileSystem) != 0) {
        return false;
    }
    const auto type = static_cast<std::uint32_t>(fileSystem.f_type);
    return std::find(std::begin(kRemote), std::end(kRemote), type) != std::end(kRemote);
}

// A clone's temporary names count from a range of their own, so two workers never pick one.
std::unique_ptr<FileSystem> FileSystemPosix::Clone() {
    if (!calls_.Shared()) {
        return nullptr;
    }
    auto clone = std::make_unique<FileSystemPosix>(calls_);
    clone->temporaryCounter_ = ++clones_ * 1000000u;
    return clone;
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
