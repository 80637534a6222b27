#include "rename/FileSystem.h"

#include <algorithm>
#include <cstring>

#include "names/NameText.h"

namespace tovana {
namespace {

// The first block of a list is small (deep trees keep one list per level), later ones double
// up to a size whose waste no longer matters.
constexpr std::size_t kFirstBlock = 256;
constexpr std::size_t kLargestBlock = 1 << 20;
constexpr std::size_t kRecordHead = 3;  // kind, length (two bytes)

}  // namespace

void EntryList::Add(std::string_view name, EntryKind kind) {
    // No file system has names of 64 KiB; a longer one is cut rather than overrun the head.
    name = name.substr(0, 0xFFFF);
    const std::size_t record = kRecordHead + name.size();
    if (blocks_.empty() || sizes_.back() - used_ < record) {
        const std::size_t next =
            blocks_.empty() ? kFirstBlock : std::min(sizes_.back() * 2, kLargestBlock);
        const std::size_t size = std::max(next, record);
        blocks_.push_back(std::make_unique<char[]>(size));
        sizes_.push_back(size);
        used_ = 0;
    }
    char* at = blocks_.back().get() + used_;
    at[0] = static_cast<char>(kind);
    at[1] = static_cast<char>(name.size() & 0xFF);
    at[2] = static_cast<char>(name.size() >> 8);
    std::memcpy(at + kRecordHead, name.data(), name.size());
    refs_.push_back(
        {static_cast<std::uint32_t>(blocks_.size() - 1), static_cast<std::uint32_t>(used_)});
    used_ += record;
}

std::string_view EntryList::name(std::size_t i) const {
    const char* at = blocks_[refs_[i].block].get() + refs_[i].offset;
    const std::size_t length = static_cast<unsigned char>(at[1]) |
                               (static_cast<std::size_t>(static_cast<unsigned char>(at[2])) << 8);
    return {at + kRecordHead, length};
}

EntryKind EntryList::kind(std::size_t i) const {
    return static_cast<EntryKind>(blocks_[refs_[i].block][refs_[i].offset]);
}

void EntryList::clear() {
    blocks_.clear();
    sizes_.clear();
    refs_.clear();
    used_ = 0;
}

std::string CaseKey(std::string_view name) {
    NameChars chars = DecodeName(name);
    std::transform(chars.begin(), chars.end(), chars.begin(), UpperChar);
    return EncodeName(chars);
}

bool CaseOnlyChange(std::string_view from, std::string_view to) {
    return from != to && CaseKey(from) == CaseKey(to);
}

const char* RenameMethodText(RenameMethod method) {
    switch (method) {
        case RenameMethod::NoReplace:
            return "no-overwrite rename";
        case RenameMethod::LinkThenUnlink:
            return "hard link to the new name, then removal of the old name";
        case RenameMethod::CheckThenRename:
            return "a plain rename over an empty placeholder that claimed the new name";
        case RenameMethod::NotAtAll:
            return "no rename at all: the file system loses a renamed folder's contents";
    }
    return "";
}

}  // namespace tovana
