// The inputs of one run, as the window shows them and the settings store keeps them.
#pragma once

#include <string>

#include "names/LegacyText.h"

namespace tovana {

struct RenameOptions {
    std::string Path;               // folder to process
    std::string Masks = "*.*";      // file types, upper case
    bool SubDir = false;            // also walk into subfolders
    bool RenameDir = false;         // rename folders too
    bool ReplaceSpace = false;      // spaces become underscores
    bool RemoveSpace = false;       // spaces are deleted
    bool ReplaceUnderline = false;  // underscores become spaces
    bool RemoveUnderline = false;   // underscores are deleted
    bool NonAlphaNum = false;       // non-alphanumerics of the stem become underscores
    bool ToUpperCase = false;       // whole name to upper case
    bool ToLowerCase = false;       // whole name to lower case

    // Beyond the window's eleven inputs: how names that are not UTF-8 are read, and whether
    // UTF-8 names once read in a legacy code page are repaired first.
    LegacyCodePage Legacy = LegacyCodePage::Auto;
    bool FixMojibake = false;

    // How many folders are listed, planned and renamed at once, each by a worker of its own;
    // 0 chooses by the file system: one on a local disk, more on network and FUSE ones.
    int Jobs = 0;

    // The two replacements would undo each other, so each one greys out the other and the
    // removal of what it produces. A flag acts only while it is available.
    bool ReplaceSpaceAvailable() const { return !ReplaceUnderline; }
    bool ReplaceUnderlineAvailable() const { return !ReplaceSpace; }
    bool RemoveSpaceAvailable() const { return !ReplaceSpace; }
    bool RemoveUnderlineAvailable() const { return !ReplaceUnderline; }

    bool ReplaceSpaceEffective() const { return ReplaceSpace && ReplaceSpaceAvailable(); }
    bool ReplaceUnderlineEffective() const {
        return ReplaceUnderline && ReplaceUnderlineAvailable();
    }
    bool RemoveSpaceEffective() const { return RemoveSpace && RemoveSpaceAvailable(); }
    bool RemoveUnderlineEffective() const { return RemoveUnderline && RemoveUnderlineAvailable(); }

    bool operator==(const RenameOptions&) const = default;
};

}  // namespace tovana
