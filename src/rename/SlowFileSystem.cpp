#include "rename/SlowFileSystem.h"

#include <cstdlib>
#include <thread>

namespace tovana {

std::unique_ptr<FileSystem> SlowFileSystem::Clone() {
    std::unique_ptr<FileSystem> inner = inner_.Clone();
    if (!inner) {
        return nullptr;
    }
    return std::unique_ptr<FileSystem>(new SlowFileSystem(std::move(inner), delay_));
}

void SlowFileSystem::Wait() const {
    std::this_thread::sleep_for(delay_);
}

std::unique_ptr<Folder> SlowFileSystem::OpenFolder(const std::string& path,
                                                   std::error_code& error) {
    Wait();
    return inner_.OpenFolder(path, error);
}

std::unique_ptr<Folder> SlowFileSystem::OpenSubfolder(Folder& parent, const std::string& name,
                                                      std::error_code& error) {
    Wait();
    return inner_.OpenSubfolder(parent, name, error);
}

std::unique_ptr<Folder> SlowFileSystem::OpenChosenFolder(Folder& parent, const std::string& name,
                                                         std::error_code& error) {
    Wait();
    return inner_.OpenChosenFolder(parent, name, error);
}

EntryKind SlowFileSystem::KindOfLink(Folder& folder, const std::string& name) {
    Wait();
    return inner_.KindOfLink(folder, name);
}

std::error_code SlowFileSystem::Identify(Folder& folder, const std::string& name, EntryId& id) {
    Wait();
    return inner_.Identify(folder, name, id);
}

std::error_code SlowFileSystem::ReadEntries(Folder& folder, EntryList& entries) {
    Wait();
    return inner_.ReadEntries(folder, entries);
}

std::error_code SlowFileSystem::Rename(Folder& folder, const std::string& from,
                                       const std::string& to) {
    Wait();
    return inner_.Rename(folder, from, to);
}

std::chrono::microseconds FileSystemDelayFromEnvironment() {
    // 1 in builds with the tests, 0 otherwise; set by CMake.
    if (!TOVANA_TEST_HOOKS) {
        return {};
    }
    const char* text = std::getenv("TOVANA_FS_DELAY_US");
    if (text == nullptr) {
        return {};
    }
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    return std::chrono::microseconds(end != text && *end == '\0' && value > 0 ? value : 0);
}

}  // namespace tovana
