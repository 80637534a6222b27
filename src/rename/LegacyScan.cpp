#include "rename/LegacyScan.h"

#include "rename/LegacyText.h"

namespace tovana {

void CollectLegacyNames(FileSystem& fileSystem, Folder& folder, bool withSubfolders,
                        std::vector<std::string>& names) {
    std::vector<FolderEntry> entries;
    fileSystem.ReadEntries(folder, entries);
    for (const FolderEntry& entry : entries) {
        const bool walked = entry.kind != EntryKind::File;
        if (walked && (!withSubfolders || entry.name.front() == '.')) {
            continue;  // the walk neither enters nor renames it
        }
        if (!IsValidUtf8(entry.name)) {
            names.push_back(entry.name);
        }
        if (entry.kind == EntryKind::Folder) {
            std::error_code error;
            if (auto sub = fileSystem.OpenSubfolder(folder, entry.name, error)) {
                CollectLegacyNames(fileSystem, *sub, withSubfolders, names);
            }
        }
    }
}

}  // namespace tovana
