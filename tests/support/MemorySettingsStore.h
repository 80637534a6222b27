// A settings store in memory, with the failures a registry can have.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "settings/SettingsStore.h"

namespace tovana::test {

class MemorySettingsStore : public SettingsStore {
  public:
    // The key's values in the order they were written; no key at all while empty.
    std::optional<std::vector<std::pair<std::string, StoredValue>>> key;
    std::set<std::string> unwritable;  // values whose Set fails
    bool creatable = true;
    int opensForReading = 0;

    const StoredValue* Find(const std::string& name) const;
    void Put(const std::string& name, StoredValue value);
    void PutText(const std::string& name, const std::string& text);
    void PutFlag(const std::string& name, bool on);

    std::unique_ptr<SettingsKey> OpenForReading(ReadAccess access) override;
    std::unique_ptr<SettingsKey> OpenForWriting() override;
};

}  // namespace tovana::test
