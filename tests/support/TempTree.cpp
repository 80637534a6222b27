#include "support/TempTree.h"

#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace tovana::test {
namespace {

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TempTree::TempTree() {
    std::string pattern = (fs::temp_directory_path() / "tovana-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    root_ = pattern;
}

TempTree::~TempTree() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

std::string TempTree::path(const std::string& relative) const {
    return relative.empty() ? root_.string() : (root_ / relative).string();
}

void TempTree::Add(const std::string& spec) {
    if (const std::size_t arrow = spec.find(" -> "); arrow != std::string::npos) {
        const fs::path link = root_ / spec.substr(0, arrow);
        fs::create_directories(link.parent_path());
        fs::create_symlink(spec.substr(arrow + 4), link);
    } else if (!spec.empty() && spec.back() == '/') {
        fs::create_directories(root_ / spec);
    } else {
        AddFile(spec, spec);
    }
}

void TempTree::AddFile(const std::string& relative, const std::string& content) {
    const fs::path file = root_ / relative;
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
}

std::map<std::string, std::string> TempTree::Snapshot() const {
    std::map<std::string, std::string> entries;
    for (auto it = fs::recursive_directory_iterator(root_);
         it != fs::recursive_directory_iterator(); ++it) {
        const std::string relative = it->path().lexically_relative(root_).string();
        if (it->is_symlink()) {
            entries[relative] = "-> " + fs::read_symlink(it->path()).string();
        } else if (it->is_directory()) {
            entries[relative + "/"] = "";
        } else {
            entries[relative] = ReadFile(it->path());
        }
    }
    return entries;
}

std::multiset<std::string> Contents(const fs::path& root) {
    std::multiset<std::string> contents;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file() && !entry.is_symlink()) {
            contents.insert(ReadFile(entry.path()));
        }
    }
    return contents;
}

}  // namespace tovana::test
