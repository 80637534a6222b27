#include "settings/Settings.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>

namespace tovana {
namespace {

constexpr std::array<Setting, 2> kTexts = {Setting::Path, Setting::Masks};
constexpr std::array<Setting, 9> kFlags = {
    Setting::SubDir,      Setting::RenameDir,        Setting::ReplaceSpace,
    Setting::RemoveSpace, Setting::ReplaceUnderline, Setting::RemoveUnderline,
    Setting::ToUpperCase, Setting::ToLowerCase,      Setting::NonAlphaNum,
};

SettingsError Error(const char* format, Setting setting) {
    char message[256];
    std::snprintf(message, sizeof message, format, SettingName(setting));
    return SettingsError(message);
}

std::string ReadText(SettingsKey& key, Setting setting) {
    StoredValue value;
    switch (key.Query(SettingName(setting), SIZE_MAX, value)) {
        case QueryStatus::Missing:
            return {};
        case QueryStatus::MoreData:
        case QueryStatus::Failed:
            throw Error("Failed to get data for '%s'", setting);
        case QueryStatus::Ok:
            break;
    }
    if (value.data.empty()) {
        return {};
    }
    if (value.type != kRegSz && value.type != kRegExpandSz) {
        throw Error("Invalid data type for '%s'", setting);
    }
    const auto end = std::find(value.data.begin(), value.data.end(), 0);
    return std::string(value.data.begin(), end);
}

bool ReadFlag(SettingsKey& key, Setting setting) {
    StoredValue value;
    switch (key.Query(SettingName(setting), 4, value)) {
        case QueryStatus::Missing:
            return false;
        case QueryStatus::MoreData:
        case QueryStatus::Failed:
            throw Error("Failed to get data for '%s'", setting);
        case QueryStatus::Ok:
            break;
    }
    if (value.type != kRegDword) {
        throw Error("Invalid data type for '%s'", setting);
    }
    // Bytes a short number lacks count as zero.
    return std::any_of(value.data.begin(), value.data.end(), [](std::uint8_t b) { return b != 0; });
}

void WriteText(SettingsKey& key, Setting setting, const std::string& text) {
    StoredValue value{kRegSz, std::vector<std::uint8_t>(text.begin(), text.end())};
    value.data.push_back(0);
    if (!key.Set(SettingName(setting), value)) {
        throw Error("Failed to set data for '%s'", setting);
    }
}

void WriteFlag(SettingsKey& key, Setting setting, bool on) {
    const StoredValue value{kRegDword, {static_cast<std::uint8_t>(on ? 1 : 0), 0, 0, 0}};
    if (!key.Set(SettingName(setting), value)) {
        throw Error("Failed to set data for '%s'", setting);
    }
}

}  // namespace

const char* SettingName(Setting setting) {
    switch (setting) {
        case Setting::Path:
            return "Path";
        case Setting::Masks:
            return "Masks";
        case Setting::SubDir:
            return "SubDir";
        case Setting::RenameDir:
            return "RenameDir";
        case Setting::ReplaceSpace:
            return "ReplaceSpace";
        case Setting::RemoveSpace:
            return "RemoveSpace";
        case Setting::ReplaceUnderline:
            return "ReplaceUnderline";
        case Setting::RemoveUnderline:
            return "RemoveUnderline";
        case Setting::ToUpperCase:
            return "ToUpperCase";
        case Setting::ToLowerCase:
            return "ToLowerCase";
        case Setting::NonAlphaNum:
            return "NonAlphaNum";
    }
    return "";
}

// One mistyped value must not cost the user the values stored after it: they would otherwise
// keep their creation values and the next close would write those over the stored ones.
void LoadSettings(SettingsStore& store, SettingsValues& values) {
    std::unique_ptr<SettingsKey> key;
    for (ReadAccess access :
         {ReadAccess::Read, ReadAccess::QueryAndEnumerate, ReadAccess::QueryOnly}) {
        if ((key = store.OpenForReading(access))) {
            break;
        }
    }
    if (!key) {
        return;
    }
    std::optional<SettingsError> first;
    const auto load = [&first](auto read, auto set) {
        try {
            set(read());
        } catch (const SettingsError& error) {
            if (!first) {
                first = error;
            }
        }
    };
    for (Setting text : kTexts) {
        load([&] { return ReadText(*key, text); },
             [&](const std::string& value) { values.SetText(text, value); });
    }
    for (Setting flag : kFlags) {
        load([&] { return ReadFlag(*key, flag); }, [&](bool on) { values.SetFlag(flag, on); });
    }
    key.reset();
    if (first) {
        throw *first;
    }
}

void SaveSettings(SettingsStore& store, const SettingsValues& values) {
    const std::unique_ptr<SettingsKey> key = store.OpenForWriting();
    if (!key) {
        return;
    }
    for (Setting text : kTexts) {
        WriteText(*key, text, values.Text(text));
    }
    for (Setting flag : kFlags) {
        WriteFlag(*key, flag, values.Flag(flag));
    }
    // A store that keeps the values together writes them in one step: none of them is kept.
    if (!key->Commit()) {
        throw Error("Failed to set data for '%s'", Setting::Path);
    }
}

std::string OptionsControls::Text(Setting setting) const {
    return setting == Setting::Path    ? options_.Path
           : setting == Setting::Masks ? options_.Masks
                                       : std::string();
}

void OptionsControls::SetText(Setting setting, const std::string& text) {
    if (setting == Setting::Path) {
        options_.Path = text;
    } else if (setting == Setting::Masks) {
        options_.Masks = text;
    }
}

namespace {

template <typename Options>
auto FlagOf(Options& o, Setting setting) -> decltype(&o.SubDir) {
    switch (setting) {
        case Setting::SubDir:
            return &o.SubDir;
        case Setting::RenameDir:
            return &o.RenameDir;
        case Setting::ReplaceSpace:
            return &o.ReplaceSpace;
        case Setting::RemoveSpace:
            return &o.RemoveSpace;
        case Setting::ReplaceUnderline:
            return &o.ReplaceUnderline;
        case Setting::RemoveUnderline:
            return &o.RemoveUnderline;
        case Setting::ToUpperCase:
            return &o.ToUpperCase;
        case Setting::ToLowerCase:
            return &o.ToLowerCase;
        case Setting::NonAlphaNum:
            return &o.NonAlphaNum;
        case Setting::Path:
        case Setting::Masks:
            break;
    }
    return nullptr;
}

}  // namespace

bool OptionsControls::Flag(Setting setting) const {
    const bool* flag = FlagOf(options_, setting);
    return flag != nullptr && *flag;
}

void OptionsControls::SetFlag(Setting setting, bool on) {
    bool* flag = FlagOf(options_, setting);
    if (flag == nullptr) {
        return;
    }
    if (on && (setting == Setting::ToUpperCase || setting == Setting::ToLowerCase)) {
        options_.ToUpperCase = options_.ToLowerCase = false;
    }
    *flag = on;
}

}  // namespace tovana
