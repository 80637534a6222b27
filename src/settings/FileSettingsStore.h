// The settings store of hosts without a registry: one text file per user in the registry's
// export format, $XDG_CONFIG_HOME/Korvel/Tovana.reg (~/.config/... when that is unset).
#pragma once

#include <string>

#include "settings/RegText.h"
#include "settings/SettingsStore.h"

namespace tovana {

class FileSettingsStore : public SettingsStore {
  public:
    explicit FileSettingsStore(std::string path = DefaultPath());

    static std::string DefaultPath();
    const std::string& path() const { return path_; }

    std::unique_ptr<SettingsKey> OpenForReading(ReadAccess access) override;
    std::unique_ptr<SettingsKey> OpenForWriting() override;

    // Whether a new file can be made beside the settings file.
    virtual bool FolderTakesFiles();

    // Replaces the file with text in one step: a temporary file in the same folder, flushed
    // to disk, renamed over the old one. A failure leaves the old file whole.
    virtual bool WriteFileAtomically(const std::string& text);

  private:
    std::string path_;
};

}  // namespace tovana
