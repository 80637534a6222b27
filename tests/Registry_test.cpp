// The settings in the real registry (Wine's, here), under a key of the test's own.
#include <windows.h>

#include <gtest/gtest.h>

#include <random>

#include "settings/RegistrySettingsStore.h"
#include "settings/Settings.h"

namespace {

using tovana::OptionsControls;
using tovana::RegistrySettingsStore;

class RegistryTest : public testing::Test {
  protected:
    RegistryTest()
        : keyPath_(L"Software\\Korvel\\TovanaTest" + std::to_wstring(std::random_device()())),
          store(keyPath_) {}
    ~RegistryTest() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, keyPath_.c_str()); }

    bool KeyExists() {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, keyPath_.c_str(), 0, KEY_READ, &key) != 0) {
            return false;
        }
        ::RegCloseKey(key);
        return true;
    }

    void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, keyPath_.c_str(), 0, nullptr, 0,
                                    KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
        ::RegCloseKey(key);
    }

    DWORD TypeOf(const wchar_t* name, DWORD& size) {
        DWORD type = 0;
        size = 0;
        ::RegGetValueW(HKEY_CURRENT_USER, keyPath_.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type,
                       nullptr, &size);
        return type;
    }

    std::wstring keyPath_;
    RegistrySettingsStore store;
};

TEST_F(RegistryTest, AllElevenValuesRoundTripWithTheirTypes) {
    tovana::RenameOptions options;
    options.Path = "C:\\Fotky\\Léto";
    options.Masks = "";
    options.SubDir = true;
    options.ReplaceUnderline = true;
    options.ToLowerCase = true;
    tovana::SaveSettings(store, OptionsControls(options));
    DWORD size = 0;
    EXPECT_EQ(TypeOf(L"Path", size), DWORD(REG_SZ));
    EXPECT_EQ(size, (13u + 1u) * 2u);
    EXPECT_EQ(TypeOf(L"Masks", size), DWORD(REG_SZ));
    EXPECT_EQ(size, 2u) << "an empty field is the terminator alone";
    for (const wchar_t* flag :
         {L"SubDir", L"RenameDir", L"ReplaceSpace", L"RemoveSpace", L"ReplaceUnderline",
          L"RemoveUnderline", L"ToUpperCase", L"ToLowerCase", L"NonAlphaNum"}) {
        EXPECT_EQ(TypeOf(flag, size), DWORD(REG_DWORD));
        EXPECT_EQ(size, 4u);
    }
    OptionsControls loaded;
    tovana::LoadSettings(store, loaded);
    EXPECT_EQ(loaded.options(), options);
}

TEST_F(RegistryTest, NoKeyLoadsNothingAndCreatesNothing) {
    OptionsControls loaded;
    tovana::LoadSettings(store, loaded);
    EXPECT_EQ(loaded.options(), tovana::RenameOptions{});
    EXPECT_FALSE(KeyExists());
}

TEST_F(RegistryTest, MissingValuesReadAsEmptyAndOff) {
    const wchar_t path[] = L"D:\\data";
    SetRaw(L"Path", REG_SZ, path, sizeof path);
    OptionsControls loaded;
    tovana::LoadSettings(store, loaded);
    EXPECT_EQ(loaded.options().Path, "D:\\data");
    EXPECT_EQ(loaded.options().Masks, "");
    EXPECT_FALSE(loaded.options().SubDir);
}

TEST_F(RegistryTest, MistypedFlagsGiveTheirMessages) {
    struct Case {
        const wchar_t* text;
        const char* message;
    };
    for (const Case& c : {Case{L"1", "Invalid data type for 'SubDir'"},
                          Case{L"true", "Failed to get data for 'SubDir'"}}) {
        SetRaw(L"SubDir", REG_SZ, c.text, static_cast<DWORD>((wcslen(c.text) + 1) * 2));
        OptionsControls loaded;
        try {
            tovana::LoadSettings(store, loaded);
            ADD_FAILURE() << c.message;
        } catch (const tovana::SettingsError& error) {
            EXPECT_STREQ(error.what(), c.message);
        }
    }
}

// A key opened for reading only refuses every write.
class ReadOnlyKeyStore : public RegistrySettingsStore {
  public:
    using RegistrySettingsStore::RegistrySettingsStore;
    std::unique_ptr<tovana::SettingsKey> OpenForWriting() override {
        return OpenForReading(tovana::ReadAccess::Read);
    }
};

TEST_F(RegistryTest, FailedWriteNamesTheValue) {
    SetRaw(L"Other", REG_DWORD, "\0\0\0\0", 4);
    ReadOnlyKeyStore readOnly(keyPath_);
    try {
        tovana::SaveSettings(readOnly, OptionsControls());
        ADD_FAILURE() << "the save must fail";
    } catch (const tovana::SettingsError& error) {
        EXPECT_STREQ(error.what(), "Failed to set data for 'Path'");
    }
}

}  // namespace
