// The settings file: its text format, atomic writes, damaged files.
#include "settings/FileSettingsStore.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "names/NameText.h"
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

// The settings file as users keep it.

// The registry editor's export: UTF-16, little-endian, after a byte-order mark.
std::string Utf16Export(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (const char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

TEST_F(FileSettingsStoreTest, LinkStaysALinkAndItsTargetGetsTheSave) {
    tree.AddFile("dotfiles/Tovana.reg", "\"Path\"=\"/old\"\n");
    std::filesystem::create_directories(tree.path("config/Korvel"));
    std::filesystem::create_symlink("../../dotfiles/Tovana.reg", Path());
    FileSettingsStore store(Path());
    tovana::RenameOptions options;
    options.Path = "/new";
    OptionsControls controls(options);
    tovana::SaveSettings(store, controls);
    ASSERT_TRUE(std::filesystem::is_symlink(Path()));
    EXPECT_EQ(std::filesystem::read_symlink(Path()), "../../dotfiles/Tovana.reg");
    EXPECT_EQ(ParseRegText(Read(tree.path("dotfiles/Tovana.reg"))).at("Path"),
              (StoredValue{kRegSz, {'/', 'n', 'e', 'w', 0}}));
    const auto entries = tree.Snapshot();
    EXPECT_EQ(entries.size(), 5u) << "a temporary file left";  // two folders each, the link
    OptionsControls loaded;
    tovana::LoadSettings(store, loaded);
    EXPECT_EQ(loaded.options(), options);
}

TEST_F(FileSettingsStoreTest, RegistryEditorsUtf16ExportIsRead) {
    tree.AddFile("config/Korvel/Tovana.reg",
                 Utf16Export(u"Windows Registry Editor Version 5.00\r\n\r\n"
                             u"[HKEY_CURRENT_USER\\Software\\Korvel\\Tovana]\r\n"
                             u"\"Path\"=\"/home/jana/L\u00e9to\"\r\n"
                             u"\"SubDir\"=dword:00000001\r\n"));
    FileSettingsStore store(Path());
    OptionsControls loaded;
    tovana::LoadSettings(store, loaded);
    EXPECT_EQ(loaded.options().Path, "/home/jana/Léto");
    EXPECT_TRUE(loaded.options().SubDir);
}

TEST_F(FileSettingsStoreTest, UnreadableFileIsKeptAsideAndToldOnce) {
    const char bytes[] = "\x89PNG\r\n\x1A\n\0\0 not settings";
    const std::string garbage(bytes, sizeof bytes - 1);
    tree.AddFile("config/Korvel/Tovana.reg", garbage);
    FileSettingsStore store(Path());
    std::vector<std::string> told;
    store.notice = [&told](const std::string& text) { told.push_back(text); };
    OptionsControls loaded;
    tovana::LoadSettings(store, loaded);
    EXPECT_EQ(loaded.options(), tovana::RenameOptions{});
    tovana::SaveSettings(store, loaded);
    tovana::SaveSettings(store, loaded);
    EXPECT_EQ(Read(Path() + ".bad"), garbage);
    EXPECT_EQ(ParseRegText(Read(Path())).size(), 11u);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find(Path() + ".bad"), std::string::npos) << told[0];
    EXPECT_FALSE(std::filesystem::exists(Path() + ".bad.2"));
}

// Opens a FIFO for writing, again and again after a while, should a reader still be waiting
// for a writer, so that a test that would hang fails instead.
class FifoUnblocker {
  public:
    explicit FifoUnblocker(std::string path)
        : path_(std::move(path)), thread_([this] {
              std::unique_lock lock(mutex_);
              auto wait = std::chrono::milliseconds(10000);
              while (!done_.wait_for(lock, wait, [this] { return finished_; })) {
                  needed_ = true;
                  wait = std::chrono::milliseconds(100);
                  const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                  if (fd >= 0) {
                      ::close(fd);
                  }
              }
          }) {}
    // Whether anyone was waiting on the FIFO.
    bool Finish() {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        done_.notify_one();
        thread_.join();
        return needed_;
    }

  private:
    std::string path_;
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    bool needed_ = false;
    std::thread thread_;
};

TEST_F(FileSettingsStoreTest, FifoInItsPlaceHangsNeitherLoadNorSave) {
    std::filesystem::create_directories(tree.path("config/Korvel"));
    ASSERT_EQ(::mkfifo(Path().c_str(), 0600), 0);
    FileSettingsStore store(Path());
    store.notice = [](const std::string&) {};
    FifoUnblocker unblocker(Path());
    OptionsControls loaded;
    tovana::LoadSettings(store, loaded);
    tovana::RenameOptions options;
    options.Path = "/new";
    tovana::SaveSettings(store, OptionsControls(options));
    EXPECT_FALSE(unblocker.Finish()) << "waited for a writer of the FIFO";
    EXPECT_EQ(loaded.options(), tovana::RenameOptions{});
    EXPECT_TRUE(std::filesystem::is_fifo(Path() + ".bad"));
    EXPECT_EQ(ParseRegText(Read(Path())).at("Path"),
              (StoredValue{kRegSz, {'/', 'n', 'e', 'w', 0}}));
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
