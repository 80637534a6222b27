// The settings in the registry of the current user, under a key of HKEY_CURRENT_USER.
#pragma once

#include <string>

#include "settings/SettingsStore.h"

namespace tovana {

class RegistrySettingsStore : public SettingsStore {
  public:
    explicit RegistrySettingsStore(std::wstring keyPath = L"Software\\Korvel\\Tovana");

    std::unique_ptr<SettingsKey> OpenForReading(ReadAccess access) override;
    std::unique_ptr<SettingsKey> OpenForWriting() override;

  private:
    std::wstring keyPath_;
};

}  // namespace tovana
