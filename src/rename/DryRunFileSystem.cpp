#include "rename/DryRunFileSystem.h"

#include <map>

#include "rename/PathRules.h"

namespace tovana {
namespace {

class DryFolder : public Folder {
  public:
    explicit DryFolder(std::unique_ptr<Folder> realFolder) : real(std::move(realFolder)) {}
    std::unique_ptr<Folder> real;
    bool listed = false;
    std::map<std::string, bool> names;  // the names the folder would hold by now: folder?
    bool ignoresCase = false;
    bool renamesFolders = true;
    std::multiset<std::string> keys;  // their CaseKeys, where the file system ignores case
};

DryFolder& DryOf(Folder& folder) {
    return static_cast<DryFolder&>(folder);
}

std::unique_ptr<Folder> Wrap(std::unique_ptr<Folder> real) {
    return real ? std::make_unique<DryFolder>(std::move(real)) : nullptr;
}

// The name in another letter case, or "" when it has no letter to change.
std::string OtherCase(const std::string& name) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            std::string other = name;
            other[i] = static_cast<char>(c ^ 0x20);
            return other;
        }
    }
    const std::string upper = CaseKey(name);
    return upper != name ? upper : std::string();
}

}  // namespace

std::unique_ptr<Folder> DryRunFileSystem::OpenFolder(const std::string& path,
                                                     std::error_code& error) {
    return Wrap(real_.OpenFolder(path, error));
}

std::unique_ptr<Folder> DryRunFileSystem::OpenChosenFolder(Folder& parent, const std::string& name,
                                                           std::error_code& error) {
    return Wrap(real_.OpenChosenFolder(*DryOf(parent).real, name, error));
}

std::unique_ptr<Folder> DryRunFileSystem::OpenSubfolder(Folder& parent, const std::string& name,
                                                        std::error_code& error) {
    return Wrap(real_.OpenSubfolder(*DryOf(parent).real, name, error));
}

EntryKind DryRunFileSystem::KindOfLink(Folder& folder, const std::string& name) {
    return real_.KindOfLink(*DryOf(folder).real, name);
}

std::error_code DryRunFileSystem::Identify(Folder& folder, const std::string& name, EntryId& id) {
    return real_.Identify(*DryOf(folder).real, name, id);
}

// Whether the folder's file system ignores letter case: a listed name looked up in another
// case that is not listed finds an entry only there. Learnt once per file system.
void DryRunFileSystem::LearnLetterCase(Folder& folder) {
    DryFolder& dry = DryOf(folder);
    dry.renamesFolders = real_.RenamesFolders(*dry.real);
    EntryId self;
    if (real_.Identify(*dry.real, ".", self)) {
        return;
    }
    auto known = ignoresCase_.find(self.device);
    if (known == ignoresCase_.end()) {
        for (const auto& [name, isFolder] : dry.names) {
            const std::string other = OtherCase(name);
            if (other.empty() || dry.names.count(other) != 0) {
                continue;
            }
            EntryId found;
            const std::error_code error = real_.Identify(*dry.real, other, found);
            if (!error || error == std::errc::no_such_file_or_directory) {
                known = ignoresCase_.emplace(self.device, !error).first;
            }
            break;
        }
    }
    dry.ignoresCase = known != ignoresCase_.end() && known->second;
    if (dry.ignoresCase) {
        for (const auto& entry : dry.names) {
            dry.keys.insert(CaseKey(entry.first));
        }
    }
}

std::error_code DryRunFileSystem::ReadEntries(Folder& folder, EntryList& entries) {
    DryFolder& dry = DryOf(folder);
    const std::size_t first = entries.size();
    const std::error_code error = real_.ReadEntries(*dry.real, entries);
    if (!dry.listed) {
        for (std::size_t i = first; i < entries.size(); ++i) {
            dry.names.emplace(entries.name(i), entries.kind(i) == EntryKind::Folder);
        }
        dry.listed = true;
        LearnLetterCase(folder);
    }
    return error;
}

std::error_code DryRunFileSystem::Rename(Folder& folder, const std::string& from,
                                         const std::string& to) {
    DryFolder& dry = DryOf(folder);
    if (!dry.listed) {
        // The chosen folder's parent is never walked; its names are read when first needed.
        EntryList entries;
        if (const std::error_code error = ReadEntries(folder, entries)) {
            return error;
        }
    }
    if (NameTooLong(to)) {
        return std::make_error_code(std::errc::filename_too_long);
    }
    const auto entry = dry.names.find(from);
    if (entry == dry.names.end()) {
        return std::make_error_code(std::errc::no_such_file_or_directory);
    }
    const bool isFolder = entry->second;
    if (isFolder && !dry.renamesFolders) {
        return std::make_error_code(std::errc::operation_not_supported);
    }
    if (dry.names.count(to) != 0) {
        return std::make_error_code(std::errc::file_exists);
    }
    if (dry.ignoresCase) {
        // Another entry under the same name in another case takes the name; the entry itself
        // (a change of case alone) does not.
        const std::string fromKey = CaseKey(from);
        const std::string toKey = CaseKey(to);
        if (dry.keys.count(toKey) > (toKey == fromKey ? 1u : 0u)) {
            return std::make_error_code(std::errc::file_exists);
        }
        dry.keys.erase(dry.keys.find(fromKey));
        dry.keys.insert(toKey);
    }
    dry.names.erase(entry);
    dry.names.emplace(to, isFolder);
    return {};
}

}  // namespace tovana
