// Loading the stored inputs and saving them back.
//
// Data flow: LoadSettings reads the eleven values from a SettingsStore in their stored order
// and hands each to a SettingsValues (the window's controls through the form, or plain options
// for the command line); SaveSettings reads them back from it and writes them.
#pragma once

#include <stdexcept>
#include <string>

#include "names/RenameOptions.h"
#include "names/SettingTable.h"
#include "settings/SettingsStore.h"

namespace tovana {

// A stored value that cannot be read or written; its message names the value.
class SettingsError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The stored name of a value.
const char* SettingName(Setting setting);

// Where loaded values go and saved values come from. Setting a value does what a user's
// change of it would; a value equal to the current one changes nothing.
class SettingsValues {
  public:
    virtual ~SettingsValues() = default;
    virtual std::string Text(Setting setting) const = 0;  // Path and Masks, UTF-8
    virtual void SetText(Setting setting, const std::string& text) = 0;
    virtual bool Flag(Setting setting) const = 0;  // the nine others
    virtual void SetFlag(Setting setting, bool on) = 0;
};

// Puts the stored values into `values`, in the stored order. Without a store nothing changes.
// A value that cannot be read takes its creation value and the load goes on with the next one;
// the first such value is then reported as a SettingsError, once everything readable is in.
void LoadSettings(SettingsStore& store, SettingsValues& values);

// Writes all eleven values. Without a way to open the store nothing is saved and nothing is
// said; a value that cannot be written stops the save with a SettingsError.
void SaveSettings(SettingsStore& store, const SettingsValues& values);

// The same values as options, for the command line. The two case flags act as the window's
// letter-case choice: setting one on clears the other.
class OptionsControls : public SettingsValues {
  public:
    explicit OptionsControls(RenameOptions options = {}) : options_(std::move(options)) {}
    std::string Text(Setting setting) const override;
    void SetText(Setting setting, const std::string& text) override;
    bool Flag(Setting setting) const override;
    void SetFlag(Setting setting, bool on) override;
    const RenameOptions& options() const { return options_; }

  private:
    RenameOptions options_;
};

}  // namespace tovana
