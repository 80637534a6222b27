// The settings store of the platform the program was built for.
#pragma once

#include <memory>
#include <string>

#include "settings/SettingsStore.h"

namespace tovana {

std::unique_ptr<SettingsStore> MakeSettingsStore();

// Where the settings live, for people: a file's path or a registry key.
std::string SettingsLocation();

}  // namespace tovana
