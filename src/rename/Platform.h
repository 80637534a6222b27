// The file system of the platform the program was built for.
#pragma once

#include <memory>

#include "rename/FileSystem.h"

namespace tovana {

std::unique_ptr<FileSystem> MakeFileSystem();

// Deep trees keep one handle open per level; lifts the limit where the platform has one.
void RaiseOpenFileLimit();

}  // namespace tovana
