// A slow disk on a fast one, for tests and benchmarks: every call waits a fixed time before it
// goes on to the real file system, as on a USB stick or a network share.
#pragma once

#include <chrono>
#include <memory>

#include "rename/FileSystem.h"

namespace tovana {

class SlowFileSystem : public FileSystem {
  public:
    SlowFileSystem(FileSystem& inner, std::chrono::microseconds delay)
        : inner_(inner), delay_(delay) {}

    std::unique_ptr<Folder> OpenFolder(const std::string& path, std::error_code& error) override;
    std::unique_ptr<Folder> OpenSubfolder(Folder& parent, const std::string& name,
                                          std::error_code& error) override;
    std::unique_ptr<Folder> OpenChosenFolder(Folder& parent, const std::string& name,
                                             std::error_code& error) override;
    std::error_code ReadEntries(Folder& folder, EntryList& entries) override;
    EntryKind KindOfLink(Folder& folder, const std::string& name) override;
    std::error_code Identify(Folder& folder, const std::string& name, EntryId& id) override;
    std::error_code Rename(Folder& folder, const std::string& from, const std::string& to) override;
    bool RenamesFolders(Folder& folder) override { return inner_.RenamesFolders(folder); }
    bool IgnoresCase(Folder& folder) override { return inner_.IgnoresCase(folder); }
    std::string StoredName(Folder& folder, const std::string& name) override {
        return inner_.StoredName(folder, name);
    }
    bool Remote(Folder& folder) override { return inner_.Remote(folder); }
    std::unique_ptr<FileSystem> Clone() override;

    // The notes are the inner file system's: it is the one that makes temporary names.
    void SetNotes(RenameNotes* notes) override {
        FileSystem::SetNotes(notes);
        inner_.SetNotes(notes);
    }

    std::chrono::microseconds delay() const { return delay_; }

  private:
    SlowFileSystem(std::unique_ptr<FileSystem> inner, std::chrono::microseconds delay)
        : owned_(std::move(inner)), inner_(*owned_), delay_(delay) {}
    void Wait() const;

    std::unique_ptr<FileSystem> owned_;  // a clone's own inner file system
    FileSystem& inner_;
    std::chrono::microseconds delay_;
};

// The delay a test or benchmark asks for in the environment variable TOVANA_FS_DELAY_US
// (microseconds per call); zero when it is not set or not a number. Only builds with the tests
// read it: the programs built for users never do (see src/CMakeLists.txt).
std::chrono::microseconds FileSystemDelayFromEnvironment();

}  // namespace tovana
