// The settings store of hosts without a registry: one text file per user in the registry's
// export format, $XDG_CONFIG_HOME/Korvel/Tovana.reg (~/.config/... when that is unset).
//
// The file is taken as users keep it: a symbolic link to it (a dotfiles setup) stays a link and
// the save goes to where it leads; a UTF-16 export from the registry editor reads as well as
// the UTF-8 the program writes; a file that cannot be read at all (nor anything but a regular
// file, such as a FIFO, which is never waited on) is not overwritten but kept beside the new
// one as Tovana.reg.bad, and that is said once.
#pragma once

#include <functional>
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
    // to disk, renamed over the old one. A failure leaves the old file whole. Through a link,
    // the file it leads to is replaced, in its own folder; a file that could not be read is
    // first moved aside to its name with ".bad".
    virtual bool WriteFileAtomically(const std::string& text);

    // The file a save replaces: the settings path, or where its links lead; empty for a loop.
    std::string TargetPath() const;

    // Where the store says what it did of its own accord (an unreadable file kept aside).
    // Standard error unless set.
    std::function<void(const std::string&)> notice;

  private:
    enum class FileState { Missing, Read, Unreadable };
    FileState ReadFile(std::string& text) const;
    bool MoveAside(const std::string& target);

    std::string path_;
    bool unreadable_ = false;  // the file was found unreadable when opened for writing
};

}  // namespace tovana
