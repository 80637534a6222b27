// Loading the stored inputs into the window's controls and saving them back.
#pragma once

#include <stdexcept>

#include "settings/SettingsStore.h"
#include "ui/FormLogic.h"

namespace tovana {

// A stored value that cannot be read or written; its message names the value.
class SettingsError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Puts the stored values into the controls, in the stored order, through the controls' own
// change handlers. Without a store nothing changes. A value that cannot be read stops the load
// there with a SettingsError; the values before it are in place.
void LoadSettings(SettingsStore& store, FormControls& controls);

// Writes all eleven values from the controls. Without a way to open the store nothing is saved
// and nothing is said; a value that cannot be written stops the save with a SettingsError.
void SaveSettings(SettingsStore& store, const FormControls& controls);

// The same values as options, for the command line. Missing values give the window's defaults
// for the two texts only when there is no store at all.
class OptionsControls : public FormControls {
  public:
    explicit OptionsControls(RenameOptions options = {});
    std::string Text(Control control) const override;
    void SetText(Control control, const std::string& text) override;
    bool Checked(Control control) const override;
    void SetChecked(Control control, bool checked) override;
    bool Enabled(Control control) const override;
    void SetEnabled(Control control, bool enabled) override;
    const RenameOptions& options() const { return options_; }

  private:
    // The flag a control stands for; const or not as the controls are.
    template <typename Self>
    static auto FlagOf(Self& self, Control control) -> decltype(&self.noCaseChange_);
    RenameOptions options_;
    bool noCaseChange_ = true;
};

}  // namespace tovana
