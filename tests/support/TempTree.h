// Real temporary folder trees for tests: build them from a list, read them back as a map of
// relative path -> content ("/" at the end marks a folder, "-> target" a link).
#pragma once

#include <filesystem>
#include <map>
#include <set>
#include <string>

namespace tovana::test {

class TempTree {
  public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::filesystem::path& root() const { return root_; }
    std::string path(const std::string& relative = "") const;

    // "a/b/" makes a folder, "a/f.txt" a file whose content is its own relative path (so a
    // lost or swapped file shows), "a/l -> target" a symbolic link.
    void Add(const std::string& entry);
    void AddFile(const std::string& relative, const std::string& content);

    // Every entry below the root, relative path -> content, link target or "" for folders.
    std::map<std::string, std::string> Snapshot() const;

  private:
    std::filesystem::path root_;
};

// The multiset of file contents below a folder, sorted: equal before and after a run means no
// file was lost, duplicated or overwritten.
std::multiset<std::string> Contents(const std::filesystem::path& root);

}  // namespace tovana::test
