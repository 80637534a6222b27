#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "journal/JournalStore.h"
#include "names/PathRules.h"

namespace tovana::journal_platform {
namespace {

std::error_code LastError() {
    return {errno, std::generic_category()};
}

class PosixJournalFile : public JournalFile {
  public:
    explicit PosixJournalFile(int fd) : fd_(fd) {}
    ~PosixJournalFile() override {
        if (reserved_ > size_) {
            // The room set aside and not used is given back where the file system can; the
            // file is whole either way, so a refusal changes nothing.
            if (::ftruncate(fd_, static_cast<off_t>(size_)) != 0) {
                errno = 0;
            }
        }
        ::close(fd_);
    }
    PosixJournalFile(const PosixJournalFile&) = delete;
    PosixJournalFile& operator=(const PosixJournalFile&) = delete;

    std::error_code Append(std::string_view text) override {
        room_ = false;
        const std::size_t needed = text.size() + kLastRecordRoom;
        if (reserving_ && size_ + needed > reserved_) {
            // Blocks allocated beyond the end (the size kept) take the text and a last record
            // without asking the file system for more room. They are set aside a stretch at a
            // time; on a disk nearly full, just what this text needs.
            int error = Reserve(needed + kRoomAhead);
            if (error == ENOSPC || error == EDQUOT) {
                error = Reserve(needed);
            }
            if (error == ENOSPC || error == EDQUOT) {
                room_ = size_ > 0;  // the room set aside by the Append before
                return {error, std::generic_category()};
            }
            if (error != 0) {
                reserving_ = false;  // not on this file system: appends as they come
            }
        }
        return Write(text);
    }

    std::error_code AppendLast(std::string_view text) override {
        if (!room_ || text.size() > kLastRecordRoom) {
            return std::make_error_code(std::errc::no_space_on_device);
        }
        room_ = false;
        return Write(text);
    }

    std::error_code Sync() override {
        return ::fdatasync(fd_) == 0 ? std::error_code() : LastError();
    }

  private:
    // 0, or the errno of the refusal.
    int Reserve(std::size_t length) {
        if (::fallocate(fd_, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(size_),
                        static_cast<off_t>(length)) != 0) {
            return errno;
        }
        reserved_ = size_ + length;
        return 0;
    }

    std::error_code Write(std::string_view text) {
        while (!text.empty()) {
            const ssize_t written = ::write(fd_, text.data(), text.size());
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return LastError();
            }
            text.remove_prefix(static_cast<std::size_t>(written));
            size_ += static_cast<std::size_t>(written);
        }
        return {};
    }

    static constexpr std::size_t kLastRecordRoom = 4096;
    static constexpr std::size_t kRoomAhead = 32768;
    int fd_;
    std::size_t size_ = 0;      // a new file, written by this object alone
    std::size_t reserved_ = 0;  // the end of the room set aside
    bool reserving_ = true;
    bool room_ = false;  // the last Append failed for want of room, writing nothing
};

}  // namespace

const char kPlatform[] = "posix";

std::string DefaultFolder() {
    std::string base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state == '/') {
        base = state;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || *home == '\0') {
            const passwd* user = ::getpwuid(::getuid());
            if (user == nullptr) {
                return {};
            }
            home = user->pw_dir;
        }
        base = std::string(home) + "/.local/state";
    }
    return base + "/Korvel/Tovana/journal";
}

std::unique_ptr<JournalFile> NewFile(const std::string& path, std::error_code& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = LastError();
        return nullptr;
    }
    error.clear();
    return std::make_unique<PosixJournalFile>(fd);
}

namespace {

std::string AbsolutePath(const std::string& path) {
    if (!path.empty() && path.front() == '/') {
        return path;
    }
    std::string cwd(4096, '\0');
    while (::getcwd(cwd.data(), cwd.size()) == nullptr) {
        if (errno != ERANGE) {
            return path;
        }
        cwd.resize(cwd.size() * 2);
    }
    cwd.resize(cwd.find('\0'));
    return cwd + (cwd.ends_with('/') ? "" : "/") + path;
}

}  // namespace

// The run opens the folder holding the chosen one by its path and the chosen folder by its
// name there, so that is what is resolved; "." and ".." name no folder of their own and are
// resolved with the rest.
std::string ChosenFolderPath(const std::string& path) {
    const ChosenFolder chosen = SplitChosenFolder(path);
    std::string trailing = chosen.name.empty() ? path : path.substr(chosen.prefix.size());
    trailing.erase(0, trailing.find_last_not_of('/') + 1);
    const std::string resolve =
        chosen.name.empty() ? path : (chosen.prefix.empty() ? "." : chosen.prefix);
    char* real = ::realpath(resolve.c_str(), nullptr);
    if (real == nullptr) {
        return AbsolutePath(path);
    }
    std::string folder = real;
    std::free(real);
    if (!chosen.name.empty()) {
        folder += (folder.ends_with('/') ? "" : "/") + chosen.name;
    }
    return folder.ends_with('/') ? folder : folder + trailing;
}

}  // namespace tovana::journal_platform
