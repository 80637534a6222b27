#include "rename/DryRunFileSystem.h"

#include <map>

#include "names/NameText.h"
#include "names/PathRules.h"

namespace tovana {
namespace {

class DryFolder : public Folder {
  public:
    DryFolder(std::unique_ptr<Folder> realFolder, bool caseBlind)
        : real(std::move(realFolder)), ignoresCase(caseBlind) {}
    // A name as the folder compares it.
    std::string Key(const std::string& name) const { return ignoresCase ? UpperText(name) : name; }
    std::unique_ptr<Folder> real;
    bool ignoresCase;
    bool listed = false;
    // The names the folder would hold by now, as keys, and whether each is a folder.
    std::map<std::string, bool> names;
    bool renamesFolders = true;
};

DryFolder& DryOf(Folder& folder) {
    return static_cast<DryFolder&>(folder);
}

std::unique_ptr<Folder> Wrap(FileSystem& fileSystem, std::unique_ptr<Folder> real) {
    if (!real) {
        return nullptr;
    }
    const bool ignoresCase = fileSystem.IgnoresCase(*real);
    return std::make_unique<DryFolder>(std::move(real), ignoresCase);
}

}  // namespace

std::unique_ptr<Folder> DryRunFileSystem::OpenFolder(const std::string& path,
                                                     std::error_code& error) {
    return Wrap(real_, real_.OpenFolder(path, error));
}

std::unique_ptr<Folder> DryRunFileSystem::OpenChosenFolder(Folder& parent, const std::string& name,
                                                           std::error_code& error) {
    return Wrap(real_, real_.OpenChosenFolder(*DryOf(parent).real, name, error));
}

std::unique_ptr<Folder> DryRunFileSystem::OpenSubfolder(Folder& parent, const std::string& name,
                                                        std::error_code& error) {
    return Wrap(real_, real_.OpenSubfolder(*DryOf(parent).real, name, error));
}

EntryKind DryRunFileSystem::KindOfLink(Folder& folder, const std::string& name) {
    return real_.KindOfLink(*DryOf(folder).real, name);
}

std::error_code DryRunFileSystem::Identify(Folder& folder, const std::string& name, EntryId& id) {
    return real_.Identify(*DryOf(folder).real, name, id);
}

std::error_code DryRunFileSystem::ReadEntries(Folder& folder, EntryList& entries) {
    DryFolder& dry = DryOf(folder);
    const std::size_t first = entries.size();
    const std::error_code error = real_.ReadEntries(*dry.real, entries);
    if (!dry.listed) {
        for (std::size_t i = first; i < entries.size(); ++i) {
            dry.names.emplace(dry.Key(std::string(entries.name(i))),
                              entries.kind(i) == EntryKind::Folder);
        }
        dry.listed = true;
        dry.renamesFolders = real_.RenamesFolders(*dry.real);
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
    const std::string fromKey = dry.Key(from);
    const std::string toKey = dry.Key(to);
    const auto entry = dry.names.find(fromKey);
    if (entry == dry.names.end()) {
        return std::make_error_code(std::errc::no_such_file_or_directory);
    }
    const bool isFolder = entry->second;
    if (isFolder && !dry.renamesFolders) {
        return std::make_error_code(std::errc::operation_not_supported);
    }
    // A change of letter case alone meets the entry itself, which is no collision.
    if (toKey != fromKey && dry.names.count(toKey) != 0) {
        return std::make_error_code(std::errc::file_exists);
    }
    dry.names.erase(entry);
    dry.names.emplace(toKey, isFolder);
    return {};
}

std::string DryRunFileSystem::StoredName(Folder& folder, const std::string& name) {
    return real_.StoredName(*DryOf(folder).real, name);
}

bool DryRunFileSystem::Remote(Folder& folder) {
    return real_.Remote(*DryOf(folder).real);
}

// Each folder's pretended names are kept in its own Folder, which one worker handles.
std::unique_ptr<FileSystem> DryRunFileSystem::Clone() {
    std::unique_ptr<FileSystem> real = real_.Clone();
    if (!real) {
        return nullptr;
    }
    return std::unique_ptr<FileSystem>(new DryRunFileSystem(std::move(real)));
}

bool DryRunFileSystem::IgnoresCase(Folder& folder) {
    return DryOf(folder).ignoresCase;
}

}  // namespace tovana
