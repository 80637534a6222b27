#include "settings/FileSettingsStore.h"

#include "settings/PlatformSettings.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
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

bool ReadWholeFile(const std::string& path, std::string& text) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    text.clear();
    char buffer[8192];
    ssize_t got = 0;
    while (text.size() < kLargestFile && (got = ::read(fd, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    if (text.size() > kLargestFile) {
        text.resize(kLargestFile);
    }
    return got >= 0;
}

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

std::unique_ptr<SettingsKey> FileSettingsStore::OpenForReading(ReadAccess) {
    std::string text;
    if (!ReadWholeFile(path_, text)) {
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
    if (ReadWholeFile(path_, text)) {
        values = ParseRegText(text);
    }
    return std::make_unique<FileKey>(this, std::move(values));
}

bool FileSettingsStore::FolderTakesFiles() {
    std::string probe = path_ + ".XXXXXX";
    const int fd = ::mkostemp(probe.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

bool FileSettingsStore::WriteFileAtomically(const std::string& text) {
    std::string temporary = path_ + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool written = ::fchmod(fd, 0600) == 0 && WriteAll(fd, text) && ::fsync(fd) == 0;
    written = ::close(fd) == 0 && written;
    if (!written || ::rename(temporary.c_str(), path_.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename itself reaches the disk with the folder.
    const std::string folder = std::filesystem::path(path_).parent_path().string();
    if (const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
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
