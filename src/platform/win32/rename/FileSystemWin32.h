// The Windows file system's own helpers, open to its tests.
#pragma once

#include <string>

namespace tovana {

// The form in which the system takes a path of any length, up to its 32,767 characters: full,
// with "\" only, behind "\\?\" (a drive path) or "\\?\UNC\" (a share). Every call the file
// system makes goes through it; the rows keep the path as the user wrote it.
std::wstring LongPathForm(const std::wstring& path);

}  // namespace tovana
