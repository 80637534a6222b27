// A file system that reads the real one and only pretends to rename: each rename is checked
// against the names the folder would hold by then, compared as the real file system compares
// them (with or without letter case), so a dry run shows the same rows, collisions included,
// that a real run would. A real run on a file system without the no-overwrite rename takes a
// fallback (RenameMethod) that succeeds and fails as that rename would, so the rows are the same.
#pragma once

#include <memory>
#include <set>

#include "rename/FileSystem.h"

namespace tovana {

class DryRunFileSystem : public FileSystem {
  public:
    explicit DryRunFileSystem(FileSystem& real) : real_(real) {}

    std::unique_ptr<Folder> OpenFolder(const std::string& path, std::error_code& error) override;
    std::unique_ptr<Folder> OpenChosenFolder(Folder& parent, const std::string& name,
                                             std::error_code& error) override;
    std::unique_ptr<Folder> OpenSubfolder(Folder& parent, const std::string& name,
                                          std::error_code& error) override;
    std::error_code ReadEntries(Folder& folder, EntryList& entries) override;
    EntryKind KindOfLink(Folder& folder, const std::string& name) override;
    std::error_code Identify(Folder& folder, const std::string& name, EntryId& id) override;
    std::error_code Rename(Folder& folder, const std::string& from, const std::string& to) override;
    bool IgnoresCase(Folder& folder) override;
    std::string StoredName(Folder& folder, const std::string& name) override;
    bool Remote(Folder& folder) override;
    std::unique_ptr<FileSystem> Clone() override;

  private:
    explicit DryRunFileSystem(std::unique_ptr<FileSystem> real)
        : owned_(std::move(real)), real_(*owned_) {}

    std::unique_ptr<FileSystem> owned_;  // a clone's own real file system
    FileSystem& real_;
};

}  // namespace tovana
