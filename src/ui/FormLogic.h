// What the window does that is not drawing: the controls it reads and sets by name, the
// options a run takes from them, the enabling rules, and the text of the error box. Any front
// end implements FormControls over its own widgets.
#pragma once

#include <string>

#include "rename/RenameOptions.h"

namespace tovana {

enum class Control {
    ePath,
    eMask,
    cSubDir,
    cRenDir,
    cReplSpace,
    cRemSpace,
    cReplUndr,
    cRemUndr,
    cNonAlphaNum,
    rNoChangeName,
    rUpperName,
    rLowerName,
    bOK,
};

class FormControls {
  public:
    virtual ~FormControls() = default;
    virtual std::string Text(Control control) const = 0;  // UTF-8
    // Setting a value runs the control's change handlers, as a user's change would; a value
    // equal to the current one changes nothing.
    virtual void SetText(Control control, const std::string& text) = 0;
    virtual bool Checked(Control control) const = 0;
    virtual void SetChecked(Control control, bool checked) = 0;
    virtual bool Enabled(Control control) const = 0;
    virtual void SetEnabled(Control control, bool enabled) = 0;
};

// The options as the controls show them; a box that is greyed out does not act.
RenameOptions OptionsFromControls(const FormControls& controls);

// Replacing spaces greys out replacing underscores and removing spaces, and the other way round.
void ReplSpaceChanged(FormControls& controls);
void ReplUndrChanged(FormControls& controls);
// The start button works only with a folder to start from.
void PathChanged(FormControls& controls);

// The error box's text: a full stop is added unless the message already ends in one or in a
// character that sorts below it (a quote, a closing bracket...).
std::string ErrorBoxText(const std::string& message);

// The application's title: the program file's name without folder, cut before its first ".",
// every letter after the first in lower case.
std::string ApplicationTitle(const std::string& programPath);

// "major.minor.release (build)", the version the caption shows.
std::string AppVersionText(unsigned major, unsigned minor, unsigned release, unsigned build);

}  // namespace tovana
