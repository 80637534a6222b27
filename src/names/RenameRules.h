// The name rules: which entries a run takes and what each name becomes. Pure functions on
// names (UTF-8 byte strings); they touch no file.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "names/NameText.h"
#include "names/RenameOptions.h"

namespace tovana {

// Whether a file is taken: masks holding "*.*" take everything; otherwise the name's
// upper-cased extension, as "*EXT;", must occur in masks + ";". Masks are expected in upper
// case (the file-type field keeps them so).
bool MaskAccepts(std::string_view name, std::string_view masks);

// Every character of the stem that is not a letter or a digit becomes "_"; the extension
// (from the last "." on) is kept as it is.
std::string NonAlphaNumToUnderscore(std::string_view name);

// What stays the same for every name of a run: how names that are not UTF-8 are read, and
// whether a leading "." hides an entry on this host.
struct NameReading {
    LegacyReading legacy;
    bool leadingDotHides = false;
};

// The reading of the options' legacy choice (Auto: every name its own best code page) with
// this host's hiding rule.
NameReading ReadingOf(const RenameOptions& options);

// The new name of a taken entry, or nothing when the entry is not taken. A name that is not
// UTF-8 is read through the legacy reading, a damaged UTF-8 name is repaired when the options
// ask for it; then diacritics go first, then spaces, non-alphanumerics and underscores, then
// letter case, each on the result of the step before. Where a leading "." hides an entry, it
// stays and the rules act on the rest. The result may be empty or equal to the old name.
std::optional<std::string> Rewrite(std::string_view name, bool isFolder,
                                   const RenameOptions& options, const NameReading& reading);
std::optional<std::string> Rewrite(std::string_view name, bool isFolder,
                                   const RenameOptions& options);

// The same into `out`, whose room is kept from name to name (a walk rewrites thousands);
// false when the entry is not taken.
bool RewriteInto(std::string_view name, bool isFolder, const RenameOptions& options,
                 const NameReading& reading, std::string& out);

// The same the general way, every name read into characters first. Rewrite takes shorter ways
// for the names most have (plain ASCII, letters of two bytes in UTF-8) and must always give
// what this gives.
std::optional<std::string> RewriteByCharacters(std::string_view name, bool isFolder,
                                               const RenameOptions& options,
                                               const NameReading& reading);

// The extension of decoded characters: from the last "." to the end, dot included.
std::size_t ExtensionStart(const NameChars& chars);

}  // namespace tovana
