#include "settings/RegistrySettingsStore.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "names/WideText.h"
#include "settings/PlatformSettings.h"

namespace tovana {
namespace {

bool IsText(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Texts are UTF-16 in the registry and UTF-8 bytes with their terminating zero here; sizes
// are those of the bytes here, so that a text value counts as many bytes as its characters
// and terminator take in the code page.
class RegistryKey : public SettingsKey {
  public:
    explicit RegistryKey(HKEY key) : key_(key) {}
    ~RegistryKey() override { ::RegCloseKey(key_); }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    QueryStatus Query(const std::string& name, std::size_t maxSize, StoredValue& value) override {
        const std::wstring wideName = WideFromUtf8(name);
        DWORD type = 0;
        DWORD size = 0;
        LSTATUS status = ::RegQueryValueExW(key_, wideName.c_str(), nullptr, &type, nullptr, &size);
        if (status == ERROR_FILE_NOT_FOUND) {
            return QueryStatus::Missing;
        }
        if (status != ERROR_SUCCESS) {
            return QueryStatus::Failed;
        }
        std::vector<BYTE> data(size);
        status = ::RegQueryValueExW(key_, wideName.c_str(), nullptr, &type, data.data(), &size);
        if (status != ERROR_SUCCESS) {
            return QueryStatus::Failed;
        }
        data.resize(size);
        value.type = type;
        if (IsText(type) && !data.empty()) {
            std::wstring text(data.size() / 2, L'\0');
            std::memcpy(text.data(), data.data(), text.size() * 2);
            const std::string utf8 = Utf8FromWide(text);
            value.data.assign(utf8.begin(), utf8.end());
            if (value.data.empty() || value.data.back() != 0) {
                value.data.push_back(0);
            }
        } else {
            value.data.assign(data.begin(), data.end());
        }
        return value.data.size() > maxSize ? QueryStatus::MoreData : QueryStatus::Ok;
    }

    bool Set(const std::string& name, const StoredValue& value) override {
        std::vector<BYTE> data(value.data.begin(), value.data.end());
        if (IsText(value.type)) {
            std::string text(value.data.begin(), value.data.end());
            while (!text.empty() && text.back() == '\0') {
                text.pop_back();
            }
            const std::wstring wide = WideFromUtf8(text);
            data.resize((wide.size() + 1) * 2);
            std::memcpy(data.data(), wide.c_str(), data.size());
        }
        return ::RegSetValueExW(key_, WideFromUtf8(name).c_str(), 0, value.type, data.data(),
                                static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
    }

  private:
    HKEY key_;
};

}  // namespace

RegistrySettingsStore::RegistrySettingsStore(std::wstring keyPath) : keyPath_(std::move(keyPath)) {}

std::unique_ptr<SettingsKey> RegistrySettingsStore::OpenForReading(ReadAccess access) {
    const REGSAM rights = access == ReadAccess::Read                ? KEY_READ
                          : access == ReadAccess::QueryAndEnumerate ? REGSAM(0x20009)
                                                                    : KEY_QUERY_VALUE;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, keyPath_.c_str(), 0, rights, &key) != ERROR_SUCCESS) {
        return nullptr;
    }
    return std::make_unique<RegistryKey>(key);
}

std::unique_ptr<SettingsKey> RegistrySettingsStore::OpenForWriting() {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, keyPath_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return nullptr;
    }
    return std::make_unique<RegistryKey>(key);
}

std::unique_ptr<SettingsStore> MakeSettingsStore() {
    return std::make_unique<RegistrySettingsStore>();
}

std::string SettingsLocation() {
    return "HKEY_CURRENT_USER\\Software\\Korvel\\Tovana";
}

}  // namespace tovana
