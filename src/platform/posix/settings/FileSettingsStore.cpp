#include "settings/FileSettingsStore.h"

#include "settings/PlatformSettings.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <linux/fs.h>
#include <sys/syscall.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <utility>
#include <vector>

namespace tovana {
namespace {

// A settings file is a few hundred bytes; anything past this is not ours to read.
constexpr std::size_t kLargestFile = 1 << 20;

class FileKey : public SettingsKey {
  public:
    FileKey(FileSettingsStore* writer, RegValues values)
        : writer_(writer), values_(std::move(values)) {}

    QueryStatus Query(const std::string& name, std::size_t maxSize, StoredValue& value) override {
        const auto it = values_.find(name);
        if (it == values_.end()) {
            return QueryStatus::Missing;
        }
        if (it->second.data.size() > maxSize) {
            return QueryStatus::MoreData;
        }
        value = it->second;
        return QueryStatus::Ok;
    }

    // Values are kept together and written in one step when the key is committed, so the file
    // never holds half of a save.
    bool Set(const std::string& name, const StoredValue& value) override {
        if (writer_ == nullptr) {
            return false;
        }
        values_[name] = value;
        if (std::find(order_.begin(), order_.end(), name) == order_.end()) {
            order_.push_back(name);
        }
        return true;
    }

    // Values stand in the order they were set, any others the file held after them.
    bool Commit() override {
        if (writer_ == nullptr) {
            return false;
        }
        std::vector<std::pair<std::string, StoredValue>> ordered;
        for (const std::string& key : order_) {
            ordered.emplace_back(key, values_.at(key));
        }
        for (const auto& entry : values_) {
            if (std::find(order_.begin(), order_.end(), entry.first) == order_.end()) {
                ordered.push_back(entry);
            }
        }
        return writer_->WriteFileAtomically(FormatRegText(ordered));
    }

  private:
    FileSettingsStore* writer_;
    RegValues values_;
    std::vector<std::string> order_;
};

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

FileSettingsStore::FileSettingsStore(std::string path) : path_(std::move(path)) {}

std::string FileSettingsStore::DefaultPath() {
    std::string base;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || *home == '\0') {
            const passwd* user = ::getpwuid(::getuid());
            home = user != nullptr ? user->pw_dir : "/";
        }
        base = std::string(home) + "/.config";
    }
    return base + "/Korvel/Tovana.reg";
}

std::string FileSettingsStore::TargetPath() const {
    std::string path = path_;
    for (int hops = 0; hops < 40; ++hops) {
        char target[PATH_MAX];
        const ssize_t size = ::readlink(path.c_str(), target, sizeof target);
        if (size < 0 || static_cast<std::size_t>(size) == sizeof target) {
            return path;  // not a link (or missing): the file itself
        }
        const std::string next(target, static_cast<std::size_t>(size));
        if (next.front() == '/') {
            path = next;
        } else {
            const std::size_t slash = path.rfind('/');
            path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + next;
        }
    }
    return {};
}

namespace {

// A descriptor closed on every way out of the function that opened it.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes it now; false when the close reports an error (a write's last chance to fail).
    bool Close() {
        const int fd = std::exchange(fd_, -1);
        return fd < 0 || ::close(fd) == 0;
    }

  private:
    int fd_;
};

}  // namespace

// Never waits: a FIFO or a device in the file's place is not read (O_NONBLOCK keeps the open
// itself from waiting for a writer), and counts as unreadable.
FileSettingsStore::FileState FileSettingsStore::ReadFile(std::string& text) const {
    Descriptor fd(::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        return errno == ENOENT ? FileState::Missing : FileState::Unreadable;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return FileState::Unreadable;
    }
    std::string bytes;
    char buffer[8192];
    ssize_t got = 0;
    while (bytes.size() <= kLargestFile &&
           ((got = ::read(fd.get(), buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR))) {
        bytes.append(buffer, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    }
    fd.Close();
    if (got < 0 || bytes.size() > kLargestFile) {
        return FileState::Unreadable;
    }
    text = RegFileText(bytes);
    return IsRegText(text) ? FileState::Read : FileState::Unreadable;
}

std::unique_ptr<SettingsKey> FileSettingsStore::OpenForReading(ReadAccess) {
    std::string text;
    if (ReadFile(text) != FileState::Read) {
        return nullptr;
    }
    return std::make_unique<FileKey>(nullptr, ParseRegText(text));
}

std::unique_ptr<SettingsKey> FileSettingsStore::OpenForWriting() {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), error);
    // A folder that takes no files is a key that cannot be opened for writing: nothing is saved
    // and the window still closes.
    if (error || !FolderTakesFiles()) {
        return nullptr;
    }
    std::string text;
    RegValues values;
    const FileState state = ReadFile(text);
    if (state == FileState::Read) {
        values = ParseRegText(text);
    }
    unreadable_ = state == FileState::Unreadable;
    return std::make_unique<FileKey>(this, std::move(values));
}

bool FileSettingsStore::FolderTakesFiles() {
    const std::string target = TargetPath();
    if (target.empty()) {
        return false;
    }
    std::string probe = target + ".XXXXXX";
    Descriptor fd(::mkostemp(probe.data(), O_CLOEXEC));
    if (!fd.valid()) {
        return false;
    }
    fd.Close();
    ::unlink(probe.c_str());
    return true;
}

// The unreadable file goes to the first free name of target.bad, target.bad.2, ...; never
// over another file.
bool FileSettingsStore::MoveAside(const std::string& target) {
    for (int n = 1; n < 100; ++n) {
        std::string aside = target + ".bad";
        if (n > 1) {
            aside += '.';
            aside += std::to_string(n);
        }
        if (::syscall(SYS_renameat2, AT_FDCWD, target.c_str(), AT_FDCWD, aside.c_str(),
                      RENAME_NOREPLACE) == 0 ||
            (errno != EEXIST && ::link(target.c_str(), aside.c_str()) == 0 &&
             ::unlink(target.c_str()) == 0)) {
            const std::string text = "The settings file " + path_ +
                                     " could not be read; it is kept as " + aside +
                                     " and a new one is written.";
            if (notice) {
                notice(text);
            } else {
                std::fprintf(stderr, "Tovana: %s\n", text.c_str());
            }
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    return false;
}

bool FileSettingsStore::WriteFileAtomically(const std::string& text) {
    const std::string target = TargetPath();
    if (target.empty()) {
        return false;
    }
    if (unreadable_) {
        // Through a link, only a regular file is moved or replaced: a link to /dev/null or to a
        // FIFO says the settings are not to be kept, and nothing is made beside it.
        struct stat st {};
        if (target != path_ && ::stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            return false;
        }
        if (::access(target.c_str(), F_OK) == 0 && !MoveAside(target)) {
            return false;
        }
        unreadable_ = false;
    }
    std::string temporary = target + ".XXXXXX";
    Descriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd.valid()) {
        return false;
    }
    bool written =
        ::fchmod(fd.get(), 0600) == 0 && WriteAll(fd.get(), text) && ::fsync(fd.get()) == 0;
    written = fd.Close() && written;
    if (!written || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename itself reaches the disk with the folder.
    const std::string folder = std::filesystem::path(target).parent_path().string();
    if (const Descriptor dirFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        dirFd.valid()) {
        ::fsync(dirFd.get());
    }
    return true;
}

std::unique_ptr<SettingsStore> MakeSettingsStore() {
    return std::make_unique<FileSettingsStore>();
}

std::string SettingsLocation() {
    return FileSettingsStore::DefaultPath();
}

}  // namespace tovana
