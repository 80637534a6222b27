// The eleven inputs of a run, one row each: the option it sets, its stored name (the settings'
// value and the journal's "option" record), the window's control that shows it and the command
// line's option. Every user of the inputs walks this table: the settings, the journal, the form
// and tovana-cli.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "names/RenameOptions.h"

namespace tovana {

// The window's controls, by the names both windows give them. The first eleven show the inputs.
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
    bCancel,
    Button1,
    lbMessage,
};

// The eleven inputs, in the order they are stored, read and written.
enum class Setting {
    Path,
    Masks,
    SubDir,
    RenameDir,
    ReplaceSpace,
    RemoveSpace,
    ReplaceUnderline,
    RemoveUnderline,
    ToUpperCase,
    ToLowerCase,
    NonAlphaNum,
};

struct SettingRow {
    Setting setting;
    const char* name;                  // stored name: settings value, journal option record
    Control control;                   // the window's control
    const char* flag;                  // tovana-cli's option ("PATH": the folder argument)
    std::string RenameOptions::*text;  // the two texts, or null
    bool RenameOptions::*on;           // the nine check boxes and letter cases, or null
};

inline constexpr std::array<SettingRow, 11> kSettings = {{
    {Setting::Path, "Path", Control::ePath, "PATH", &RenameOptions::Path, nullptr},
    {Setting::Masks, "Masks", Control::eMask, "-m,--mask", &RenameOptions::Masks, nullptr},
    {Setting::SubDir, "SubDir", Control::cSubDir, "-s,--subdirs", nullptr, &RenameOptions::SubDir},
    {Setting::RenameDir, "RenameDir", Control::cRenDir, "-d,--dirs", nullptr,
     &RenameOptions::RenameDir},
    {Setting::ReplaceSpace, "ReplaceSpace", Control::cReplSpace, "--replace-space", nullptr,
     &RenameOptions::ReplaceSpace},
    {Setting::RemoveSpace, "RemoveSpace", Control::cRemSpace, "--remove-space", nullptr,
     &RenameOptions::RemoveSpace},
    {Setting::ReplaceUnderline, "ReplaceUnderline", Control::cReplUndr, "--replace-underscore",
     nullptr, &RenameOptions::ReplaceUnderline},
    {Setting::RemoveUnderline, "RemoveUnderline", Control::cRemUndr, "--remove-underscore", nullptr,
     &RenameOptions::RemoveUnderline},
    {Setting::ToUpperCase, "ToUpperCase", Control::rUpperName, "--upper", nullptr,
     &RenameOptions::ToUpperCase},
    {Setting::ToLowerCase, "ToLowerCase", Control::rLowerName, "--lower", nullptr,
     &RenameOptions::ToLowerCase},
    {Setting::NonAlphaNum, "NonAlphaNum", Control::cNonAlphaNum, "--non-alnum", nullptr,
     &RenameOptions::NonAlphaNum},
}};

// The row of an input; the table is in the order of Setting.
constexpr const SettingRow& RowOf(Setting setting) {
    return kSettings[static_cast<std::size_t>(setting)];
}

static_assert([] {
    for (std::size_t i = 0; i < kSettings.size(); ++i) {
        if (static_cast<std::size_t>(kSettings[i].setting) != i ||
            (kSettings[i].text == nullptr) == (kSettings[i].on == nullptr)) {
            return false;
        }
    }
    return true;
}());

// The long form of a row's command-line option: "--subdirs" of "-s,--subdirs".
constexpr std::string_view LongFlag(const SettingRow& row) {
    const std::string_view flag = row.flag;
    return flag.substr(flag.find(',') + 1);
}

}  // namespace tovana
