// The look-up a run makes before it reads its first name that is not UTF-8: every such name the
// walk will meet, so that one code page can be chosen for all of them.
#pragma once

#include <string>
#include <vector>

#include "rename/FileSystem.h"

namespace tovana {

// Appends the names below `folder` that are not valid UTF-8, as the walk meets entries: files
// and folders, and with `withSubfolders` the contents of every subfolder whose name does not
// begin with "." (links to folders are not followed). Folders that cannot be read are passed
// over; nothing is renamed.
void CollectLegacyNames(FileSystem& fileSystem, Folder& folder, bool withSubfolders,
                        std::vector<std::string>& names);

}  // namespace tovana
