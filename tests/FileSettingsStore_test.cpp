// The settings file: its text format, atomic writes, damaged files.
#include "settings/FileSettingsStore.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "rename/NameText.h"
#include "settings/Settings.h"
#include "support/TempTree.h"

namespace {

using tovana::FileSettingsStore;
using tovana::kRegDword;
using tovana::kRegSz;
using tovana::OptionsControls;
using tovana::ParseRegText;
using tovana::StoredValue;

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class FailingStore : public FileSettingsStore {
  public:
    using FileSettingsStore::FileSettingsStore;
    bool WriteFileAtomically(const std::string&) override { return false; }
};

class FileSettingsStoreTest : public testing::Test {
  protected:
    std::string Path() const { return tree.path("config/Korvel/Tovana.reg"); }
    tovana::test::TempTree tree;
};

TEST_F(FileSettingsStoreTest, SavesTheRegistryExportFormat) {
    tovana::RenameOptions options;
    options.Path = "/home/jana/\"Léto\" \\ 2005";
    options.SubDir = true;
    options.ToLowerCase = true;
    FileSettingsStore store(Path());
    OptionsControls controls(options);
    tovana::SaveSettings(store, controls);
    EXPECT_EQ(Read(Path()),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CURRENT_USER\\Software\\Korvel\\Tovana]\n"
              "\"Path\"=\"/home/jana/\\\"Léto\\\" \\\\ 2005\"\n"
              "\"Masks\"=\"*.*\"\n"
              "\"SubDir\"=dword:00000001\n"
              "\"RenameDir\"=dword:00000000\n"
              "\"ReplaceSpace\"=dword:00000000\n"
              "\"RemoveSpace\"=dword:00000000\n"
              "\"ReplaceUnderline\"=dword:00000000\n"
              "\"RemoveUnderline\"=dword:00000000\n"
              "\"ToUpperCase\"=dword:00000000\n"
              "\"ToLowerCase\"=dword:00000001\n"
              "\"NonAlphaNum\"=dword:00000000\n");
    OptionsControls loaded;
    tovana::LoadSettings(store, loaded);
    EXPECT_EQ(loaded.options(), options);
}

TEST_F(FileSettingsStoreTest, LoadingCreatesNothing) {
    FileSettingsStore store(Path());
    OptionsControls controls;
    tovana::LoadSettings(store, controls);
    EXPECT_EQ(controls.options(), tovana::RenameOptions{});
    EXPECT_FALSE(std::filesystem::exists(tree.path("config")));
}

TEST_F(FileSettingsStoreTest, FailedWriteLeavesTheOldFileWhole) {
    tree.AddFile("config/Korvel/Tovana.reg",
                 "[HKEY_CURRENT_USER\\Software\\Korvel\\Tovana]\n"
                 "\"Path\"=\"/old\"\n");
    const std::string before = Read(Path());
    FailingStore store(Path());
    OptionsControls controls;
    try {
        tovana::SaveSettings(store, controls);
        FAIL() << "the save must fail";
    } catch (const tovana::SettingsError& error) {
        EXPECT_STREQ(error.what(), "Failed to set data for 'Path'");
    }
    EXPECT_EQ(Read(Path()), before);
}

// Makes a folder read-only for everyone, root included (a read-only bind mount), or for its
// owner alone where there are no rights to mount.
class ReadOnlyFolder {
  public:
    explicit ReadOnlyFolder(const std::string& path) : path_(path) {
        if (::geteuid() == 0) {
            mounted_ = ::mount(path.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
                       ::mount(nullptr, path.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                               nullptr) == 0;
        } else {
            std::filesystem::permissions(
                path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
            mounted_ = true;
        }
    }
    ~ReadOnlyFolder() {
        if (::geteuid() == 0) {
            ::umount2(path_.c_str(), MNT_DETACH);
        } else {
            std::filesystem::permissions(path_, std::filesystem::perms::owner_all);
        }
    }
    bool works() const { return mounted_; }

  private:
    std::string path_;
    bool mounted_ = false;
};

// A folder that cannot be written is a store that cannot be opened for writing: the save
// says nothing (so the window can close) and the old file stays.
TEST_F(FileSettingsStoreTest, ReadOnlyFolderSavesNothingQuietlyAndKeepsTheOldFile) {
    tree.AddFile("config/Korvel/Tovana.reg", "\"Path\"=\"/old\"\n");
    ReadOnlyFolder readOnly(tree.path("config/Korvel"));
    if (!readOnly.works()) {
        GTEST_SKIP() << "no read-only bind mount here";
    }
    FileSettingsStore store(Path());
    EXPECT_EQ(store.OpenForWriting(), nullptr);
    EXPECT_NO_THROW(tovana::SaveSettings(store, OptionsControls()));
    EXPECT_EQ(Read(Path()), "\"Path\"=\"/old\"\n");
}

TEST_F(FileSettingsStoreTest, ValuesOfOtherProgramsInTheFileAreKept) {
    tree.AddFile("config/Korvel/Tovana.reg",
                 "[HKEY_CURRENT_USER\\Software\\Korvel\\Tovana]\n\"Extra\"=hex(2):41,00\n");
    FileSettingsStore store(Path());
    tovana::SaveSettings(store, OptionsControls());
    const auto values = ParseRegText(Read(Path()));
    EXPECT_EQ(values.at("Extra"), (StoredValue{tovana::kRegExpandSz, {'A', 0}}));
    EXPECT_EQ(values.size(), 12u);
}

struct ParseCase {
    const char* label;
    std::string text;
    std::map<std::string, StoredValue> values;
};

class RegTextParsing : public testing::TestWithParam<ParseCase> {};

TEST_P(RegTextParsing, ReadsWhatCanBeRead) {
    EXPECT_EQ(ParseRegText(GetParam().text), GetParam().values);
}

const std::string kHead =
    "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Korvel\\Tovana]\n";

INSTANTIATE_TEST_SUITE_P(
    Files, RegTextParsing,
    testing::Values(
        ParseCase{
            "Types",
            kHead + "\"A\"=\"x\"\r\n\"B\"=dword:0000002a\n\"C\"=hex(2):41,00\n\"D\"=hex:01,02\n",
            {{"A", {kRegSz, {'x', 0}}},
             {"B", {kRegDword, {42, 0, 0, 0}}},
             {"C", {tovana::kRegExpandSz, {'A', 0}}},
             {"D", {tovana::kRegBinary, {1, 2}}}}},
        ParseCase{"ContinuedHexLines",
                  kHead + "\"C\"=hex(7):41,\\\n  42,00\n",
                  {{"C", {7, {'A', 'B', 0}}}}},
        ParseCase{"OnlyHexValuesGoOnOverLines", kHead + "\"A=hex\\\n  B\"=\"x\"\n", {}},
        ParseCase{"OtherSectionIgnored",
                  kHead + "\"A\"=\"x\"\n[HKEY_CURRENT_USER\\Software\\Other]\n\"A\"=\"y\"\n",
                  {{"A", {kRegSz, {'x', 0}}}}},
        ParseCase{"LostHeadStillReads",
                  "\"SubDir\"=dword:00000001\n",
                  {{"SubDir", {kRegDword, {1, 0, 0, 0}}}}},
        ParseCase{"CutOffLineLeftOutOthersKept",
                  kHead + "\"Path\"=\"/home/ja\n\"SubDir\"=dword:00000001\n\"Masks\"=dwo",
                  {{"SubDir", {kRegDword, {1, 0, 0, 0}}}}},
        ParseCase{"GarbageLinesLeftOut",
                  kHead + "\x01\xFF\xFE garbage\n\"A\"=dword:xyz\n\"B\"=hex(zz):00\n\"C\"=\"ok\"\n",
                  {{"C", {kRegSz, {'o', 'k', 0}}}}},
        ParseCase{
            "LaterLineWins", kHead + "\"A\"=\"x\"\n\"A\"=\"y\"\n", {{"A", {kRegSz, {'y', 0}}}}},
        ParseCase{"Empty", "", {}}),
    [](const testing::TestParamInfo<ParseCase>& param) { return param.param.label; });

TEST(RegTextFormat, UnprintableTextGoesAsHexAndReadsBack) {
    const StoredValue withNewline{kRegSz, {'a', '\n', 'b', 0}};
    const StoredValue noTerminator{kRegSz, {'a'}};
    const StoredValue shortNumber{kRegDword, {1, 0}};
    const StoredValue notUtf8{kRegSz, {'/', 0x9a, 'k', 'o', 'l', 'a', 0}};  // "/škola", cp1250
    const std::string text = tovana::FormatRegText(
        {{"N", withNewline}, {"T", noTerminator}, {"S", shortNumber}, {"L", notUtf8}});
    EXPECT_TRUE(tovana::IsValidUtf8(text)) << text;
    const auto values = ParseRegText(text);
    EXPECT_EQ(values.at("N"), withNewline);
    EXPECT_EQ(values.at("T"), noTerminator);
    EXPECT_EQ(values.at("S"), shortNumber);
    EXPECT_EQ(values.at("L"), notUtf8);
}

}  // namespace
