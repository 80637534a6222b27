#include "ui/FormLogic.h"

#include <cstdio>

#include "rename/NameText.h"

namespace tovana {

RenameOptions OptionsFromControls(const FormControls& c) {
    const auto acting = [&c](Control box) { return c.Checked(box) && c.Enabled(box); };
    RenameOptions o;
    o.Path = c.Text(Control::ePath);
    o.Masks = c.Text(Control::eMask);
    o.SubDir = c.Checked(Control::cSubDir);
    o.RenameDir = c.Checked(Control::cRenDir);
    o.ReplaceSpace = acting(Control::cReplSpace);
    o.RemoveSpace = acting(Control::cRemSpace);
    o.ReplaceUnderline = acting(Control::cReplUndr);
    o.RemoveUnderline = acting(Control::cRemUndr);
    o.NonAlphaNum = c.Checked(Control::cNonAlphaNum);
    o.ToUpperCase = c.Checked(Control::rUpperName);
    o.ToLowerCase = c.Checked(Control::rLowerName);
    return o;
}

void ReplSpaceChanged(FormControls& c) {
    const bool free = !c.Checked(Control::cReplSpace);
    c.SetEnabled(Control::cRemSpace, free);
    c.SetEnabled(Control::cReplUndr, free);
}

void ReplUndrChanged(FormControls& c) {
    const bool free = !c.Checked(Control::cReplUndr);
    c.SetEnabled(Control::cRemUndr, free);
    c.SetEnabled(Control::cReplSpace, free);
}

void PathChanged(FormControls& c) {
    c.SetEnabled(Control::bOK, !c.Text(Control::ePath).empty());
}

std::string ErrorBoxText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') {
        return message + ".";
    }
    return message;
}

std::string ApplicationTitle(const std::string& programPath) {
    std::string name = programPath.substr(programPath.find_last_of('/') + 1);
    name = name.substr(0, name.find('.'));
    if (name.empty()) {
        return name;
    }
    NameChars chars = DecodeName(name);
    for (std::size_t i = 1; i < chars.size(); ++i) {
        chars[i] = LowerChar(chars[i]);
    }
    return EncodeName(chars);
}

std::string AppVersionText(unsigned major, unsigned minor, unsigned release, unsigned build) {
    char text[64];
    std::snprintf(text, sizeof text, "%u.%u.%u (%u)", major & 0xFFFF, minor & 0xFFFF,
                  release & 0xFFFF, build & 0xFFFF);
    return text;
}

}  // namespace tovana
