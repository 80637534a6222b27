#include "settings/Settings.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace tovana {
namespace {

struct FlagValue {
    const char* name;
    Control control;
};

// The nine flags in their stored order.
constexpr std::array<FlagValue, 9> kFlags = {{
    {"SubDir", Control::cSubDir},
    {"RenameDir", Control::cRenDir},
    {"ReplaceSpace", Control::cReplSpace},
    {"RemoveSpace", Control::cRemSpace},
    {"ReplaceUnderline", Control::cReplUndr},
    {"RemoveUnderline", Control::cRemUndr},
    {"ToUpperCase", Control::rUpperName},
    {"ToLowerCase", Control::rLowerName},
    {"NonAlphaNum", Control::cNonAlphaNum},
}};

[[noreturn]] void Fail(const char* format, const char* name) {
    char message[256];
    std::snprintf(message, sizeof message, format, name);
    throw SettingsError(message);
}

std::string ReadText(SettingsKey& key, const char* name) {
    StoredValue value;
    switch (key.Query(name, SIZE_MAX, value)) {
        case QueryStatus::Missing:
            return {};
        case QueryStatus::MoreData:
        case QueryStatus::Failed:
            Fail("Failed to get data for '%s'", name);
        case QueryStatus::Ok:
            break;
    }
    if (value.data.empty()) {
        return {};
    }
    if (value.type != kRegSz && value.type != kRegExpandSz) {
        Fail("Invalid data type for '%s'", name);
    }
    const auto end = std::find(value.data.begin(), value.data.end(), 0);
    return std::string(value.data.begin(), end);
}

bool ReadFlag(SettingsKey& key, const char* name) {
    StoredValue value;
    switch (key.Query(name, 4, value)) {
        case QueryStatus::Missing:
            return false;
        case QueryStatus::MoreData:
        case QueryStatus::Failed:
            Fail("Failed to get data for '%s'", name);
        case QueryStatus::Ok:
            break;
    }
    if (value.type != kRegDword) {
        Fail("Invalid data type for '%s'", name);
    }
    // Bytes a short number lacks count as zero.
    return std::any_of(value.data.begin(), value.data.end(), [](std::uint8_t b) { return b != 0; });
}

void WriteText(SettingsKey& key, const char* name, const std::string& text) {
    StoredValue value{kRegSz, std::vector<std::uint8_t>(text.begin(), text.end())};
    value.data.push_back(0);
    if (!key.Set(name, value)) {
        Fail("Failed to set data for '%s'", name);
    }
}

void WriteFlag(SettingsKey& key, const char* name, bool on) {
    const StoredValue value{kRegDword, {static_cast<std::uint8_t>(on ? 1 : 0), 0, 0, 0}};
    if (!key.Set(name, value)) {
        Fail("Failed to set data for '%s'", name);
    }
}

}  // namespace

void LoadSettings(SettingsStore& store, FormControls& controls) {
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
    controls.SetText(Control::ePath, ReadText(*key, "Path"));
    controls.SetText(Control::eMask, ReadText(*key, "Masks"));
    for (const FlagValue& flag : kFlags) {
        controls.SetChecked(flag.control, ReadFlag(*key, flag.name));
    }
}

void SaveSettings(SettingsStore& store, const FormControls& controls) {
    const std::unique_ptr<SettingsKey> key = store.OpenForWriting();
    if (!key) {
        return;
    }
    WriteText(*key, "Path", controls.Text(Control::ePath));
    WriteText(*key, "Masks", controls.Text(Control::eMask));
    for (const FlagValue& flag : kFlags) {
        WriteFlag(*key, flag.name, controls.Checked(flag.control));
    }
    // A store that keeps the values together writes them in one step: none of them is kept.
    if (!key->Commit()) {
        Fail("Failed to set data for '%s'", "Path");
    }
}

OptionsControls::OptionsControls(RenameOptions options) : options_(std::move(options)) {
    noCaseChange_ = !options_.ToUpperCase && !options_.ToLowerCase;
}

std::string OptionsControls::Text(Control control) const {
    return control == Control::ePath   ? options_.Path
           : control == Control::eMask ? options_.Masks
                                       : std::string();
}

void OptionsControls::SetText(Control control, const std::string& text) {
    if (control == Control::ePath) {
        options_.Path = text;
    } else if (control == Control::eMask) {
        options_.Masks = text;
    }
}

template <typename Self>
auto OptionsControls::FlagOf(Self& self, Control control) -> decltype(&self.noCaseChange_) {
    switch (control) {
        case Control::cSubDir:
            return &self.options_.SubDir;
        case Control::cRenDir:
            return &self.options_.RenameDir;
        case Control::cReplSpace:
            return &self.options_.ReplaceSpace;
        case Control::cRemSpace:
            return &self.options_.RemoveSpace;
        case Control::cReplUndr:
            return &self.options_.ReplaceUnderline;
        case Control::cRemUndr:
            return &self.options_.RemoveUnderline;
        case Control::cNonAlphaNum:
            return &self.options_.NonAlphaNum;
        case Control::rUpperName:
            return &self.options_.ToUpperCase;
        case Control::rLowerName:
            return &self.options_.ToLowerCase;
        case Control::rNoChangeName:
            return &self.noCaseChange_;
        default:
            return nullptr;
    }
}

bool OptionsControls::Checked(Control control) const {
    const bool* flag = FlagOf(*this, control);
    return flag != nullptr && *flag;
}

// The three letter-case choices behave as one group of radio buttons.
void OptionsControls::SetChecked(Control control, bool checked) {
    bool* flag = FlagOf(*this, control);
    if (flag == nullptr) {
        return;
    }
    const bool isCase = control == Control::rUpperName || control == Control::rLowerName ||
                        control == Control::rNoChangeName;
    if (isCase && checked) {
        options_.ToUpperCase = options_.ToLowerCase = noCaseChange_ = false;
    }
    *flag = checked;
}

bool OptionsControls::Enabled(Control control) const {
    switch (control) {
        case Control::cReplSpace:
            return options_.ReplaceSpaceAvailable();
        case Control::cRemSpace:
            return options_.RemoveSpaceAvailable();
        case Control::cReplUndr:
            return options_.ReplaceUnderlineAvailable();
        case Control::cRemUndr:
            return options_.RemoveUnderlineAvailable();
        case Control::bOK:
            return !options_.Path.empty();
        default:
            return true;
    }
}

void OptionsControls::SetEnabled(Control, bool) {}

}  // namespace tovana
