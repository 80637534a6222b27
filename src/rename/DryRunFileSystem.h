// A file system that reads the real one and only pretends to rename: each rename is checked
// against the names the folder would hold by then, compared as the real file system compares
// them (with or without letter case), so a dry run shows the same rows, collisions included,
// that a real run would.
#pragma once

#include <set>

#include "rename/FileSystem.h"

namespace tovana {

class DryRunFileSystem : public FileSystem {
  public:
    explicit DryRunFileSystem(FileSystem& real) : real_(real) {}

    std::unique_ptr<Folder> OpenFolder(const std::string& path, std::error_code& error) override;
    std::unique_ptr<Folder> OpenSubfolder(Folder& parent, const std::string& name,
                                          std::error_code& error) override;
    std::error_code ReadEntries(Folder& folder, std::vector<FolderEntry>& entries) override;
    std::error_code Rename(Folder& folder, const std::string& from, const std::string& to) override;
    bool IgnoresCase(Folder& folder) override;
    std::string StoredName(Folder& folder, const std::string& name) override;

  private:
    FileSystem& real_;
};

}  // namespace tovana
