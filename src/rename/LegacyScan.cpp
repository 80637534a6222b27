#include "rename/LegacyScan.h"

#include "names/LegacyText.h"

namespace tovana {

void CollectLegacyNames(FileSystem& fileSystem, Folder& folder, bool withSubfolders,
                        std::vector<std::string>& names) {
    EntryList entries;
    fileSystem.ReadEntries(folder, entries);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string name(entries.name(i));
        const EntryKind kind = entries.kind(i);
        // Links are counted without being followed: their names are names like any other.
        const bool walked = kind != EntryKind::File && kind != EntryKind::Link;
        if (walked && (!withSubfolders || name.front() == '.' || kind == EntryKind::SystemFolder)) {
            continue;  // the walk neither enters nor renames it
        }
        if (!IsValidUtf8(name)) {
            names.push_back(name);
        }
        if (kind == EntryKind::Folder) {
            std::error_code error;
            if (auto sub = fileSystem.OpenSubfolder(folder, name, error)) {
                CollectLegacyNames(fileSystem, *sub, withSubfolders, names);
            }
        }
    }
}

}  // namespace tovana
