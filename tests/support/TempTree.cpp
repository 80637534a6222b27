#include "support/TempTree.h"

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace tovana::test {
namespace {

fs::path FromUtf8(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

std::string ToUtf8(const fs::path& p) {
    const std::u8string text = p.generic_u8string();
    return std::string(text.begin(), text.end());
}

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TempTree::TempTree() {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate =
            fs::temp_directory_path() / ("tovana-test-" + std::to_string(random()));
        if (fs::create_directory(candidate)) {
            root_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder");
}

TempTree::~TempTree() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

// Paths are UTF-8 on every platform, as the rules and the run take them.
std::string TempTree::path(const std::string& relative) const {
    const fs::path whole = relative.empty() ? root_ : root_ / FromUtf8(relative);
    const std::u8string text = fs::path(whole).make_preferred().u8string();
    return std::string(text.begin(), text.end());
}

void TempTree::Add(const std::string& entry) {
    if (const std::size_t arrow = entry.find(" -> "); arrow != std::string::npos) {
        const fs::path link = root_ / FromUtf8(entry.substr(0, arrow));
        fs::create_directories(link.parent_path());
        fs::create_symlink(entry.substr(arrow + 4), link);
    } else if (!entry.empty() && entry.back() == '/') {
        fs::create_directories(root_ / FromUtf8(entry));
    } else {
        AddFile(entry, entry);
    }
}

void TempTree::AddFile(const std::string& relative, const std::string& content) {
    const fs::path file = root_ / FromUtf8(relative);
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
}

std::map<std::string, std::string> TempTree::Snapshot() const {
    std::map<std::string, std::string> entries;
    for (auto it = fs::recursive_directory_iterator(root_);
         it != fs::recursive_directory_iterator(); ++it) {
        const std::string relative = ToUtf8(it->path().lexically_relative(root_));
        if (it->is_symlink()) {
            entries[relative] = "-> " + ToUtf8(fs::read_symlink(it->path()));
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
