#include "settings/Settings.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>

namespace tovana {
namespace {

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
    return RowOf(setting).name;
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
    for (const SettingRow& row : kSettings) {
        const Setting setting = row.setting;
        if (row.text != nullptr) {
            load([&] { return ReadText(*key, setting); },
                 [&](const std::string& value) { values.SetText(setting, value); });
        } else {
            load([&] { return ReadFlag(*key, setting); },
                 [&](bool on) { values.SetFlag(setting, on); });
        }
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
    for (const SettingRow& row : kSettings) {
        if (row.text != nullptr) {
            WriteText(*key, row.setting, values.Text(row.setting));
        } else {
            WriteFlag(*key, row.setting, values.Flag(row.setting));
        }
    }
    // A store that keeps the values together writes them in one step: none of them is kept.
    if (!key->Commit()) {
        throw Error("Failed to set data for '%s'", Setting::Path);
    }
}

std::string OptionsControls::Text(Setting setting) const {
    const auto text = RowOf(setting).text;
    return text != nullptr ? options_.*text : std::string();
}

void OptionsControls::SetText(Setting setting, const std::string& text) {
    if (const auto field = RowOf(setting).text) {
        options_.*field = text;
    }
}

bool OptionsControls::Flag(Setting setting) const {
    const auto flag = RowOf(setting).on;
    return flag != nullptr && options_.*flag;
}

void OptionsControls::SetFlag(Setting setting, bool on) {
    const auto flag = RowOf(setting).on;
    if (flag == nullptr) {
        return;
    }
    if (on && (setting == Setting::ToUpperCase || setting == Setting::ToLowerCase)) {
        options_.ToUpperCase = options_.ToLowerCase = false;
    }
    options_.*flag = on;
}

}  // namespace tovana
