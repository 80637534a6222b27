// The folder picker: the system's folder browser, restricted to real folders.
#pragma once

#include <windows.h>

#include <string>

// Shows the browser owned by `owner`, titled `title`, rooted at `root` (the desktop when
// empty), opened at `folder` when that is an existing folder (otherwise `folder` is cleared at
// once). On confirmation `folder` becomes the chosen folder's path and the answer is true.
bool SelectFolder(HWND owner, const std::wstring& title, const std::wstring& root,
                  std::wstring& folder);
