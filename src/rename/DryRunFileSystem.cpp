#include "rename/DryRunFileSystem.h"

#include "rename/PathRules.h"

namespace tovana {
namespace {

class DryFolder : public Folder {
  public:
    explicit DryFolder(std::unique_ptr<Folder> realFolder) : real(std::move(realFolder)) {}
    std::unique_ptr<Folder> real;
    bool listed = false;
    std::set<std::string> names;  // the names the folder would hold by now
};

DryFolder& DryOf(Folder& folder) {
    return static_cast<DryFolder&>(folder);
}

std::unique_ptr<Folder> Wrap(std::unique_ptr<Folder> real) {
    return real ? std::make_unique<DryFolder>(std::move(real)) : nullptr;
}

}  // namespace

std::unique_ptr<Folder> DryRunFileSystem::OpenFolder(const std::string& path,
                                                     std::error_code& error) {
    return Wrap(real_.OpenFolder(path, error));
}

std::unique_ptr<Folder> DryRunFileSystem::OpenSubfolder(Folder& parent, const std::string& name,
                                                        std::error_code& error) {
    return Wrap(real_.OpenSubfolder(*DryOf(parent).real, name, error));
}

std::error_code DryRunFileSystem::ReadEntries(Folder& folder, std::vector<FolderEntry>& entries) {
    DryFolder& dry = DryOf(folder);
    const std::size_t first = entries.size();
    const std::error_code error = real_.ReadEntries(*dry.real, entries);
    if (!dry.listed) {
        for (std::size_t i = first; i < entries.size(); ++i) {
            dry.names.insert(entries[i].name);
        }
        dry.listed = true;
    }
    return error;
}

std::error_code DryRunFileSystem::Rename(Folder& folder, const std::string& from,
                                         const std::string& to) {
    DryFolder& dry = DryOf(folder);
    if (!dry.listed) {
        // The chosen folder's parent is never walked; its names are read when first needed.
        std::vector<FolderEntry> entries;
        if (const std::error_code error = ReadEntries(folder, entries)) {
            return error;
        }
    }
    if (NameTooLong(to)) {
        return std::make_error_code(std::errc::filename_too_long);
    }
    if (dry.names.count(from) == 0) {
        return std::make_error_code(std::errc::no_such_file_or_directory);
    }
    if (dry.names.count(to) != 0) {
        return std::make_error_code(std::errc::file_exists);
    }
    dry.names.erase(from);
    dry.names.insert(to);
    return {};
}

}  // namespace tovana
