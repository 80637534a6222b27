// The run on the Windows file system (under Wine here): real trees with Czech names.
#include <windows.h>

#include <gtest/gtest.h>

#include "rename/PathRules.h"
#include "rename/Platform.h"
#include "rename/RenameRun.h"
#include "rename/WideText.h"
#include "support/RecordingSink.h"
#include "support/TempTree.h"

namespace {

using tovana::RenameOptions;
using tovana::rkDirRenamed;
using tovana::rkFailed;
using tovana::rkFileRenamed;
using tovana::test::Row;
using Tree = std::map<std::string, std::string>;

class RunWin32 : public testing::Test {
  protected:
    std::vector<Row> RunWith(const RenameOptions& options) {
        const auto fileSystem = tovana::MakeFileSystem();
        sink = {};
        tovana::Run(options, *fileSystem, sink, counters);
        return sink.rows;
    }
    std::wstring Wide(const std::string& relative) {
        return tovana::WideFromUtf8(tree.path(relative));
    }

    tovana::test::TempTree tree;
    tovana::test::RecordingSink sink;
    tovana::RunCounters counters;
};

TEST_F(RunWin32, RenamesCzechTreeFoldersAfterContentsChosenFolderLast) {
    for (const char* entry : {"Léto/Žluťoučký kůň.txt", "Léto/Ěčko/řeka.jpg", "Léto/skrytý.txt"}) {
        tree.Add(entry);
    }
    ASSERT_TRUE(::SetFileAttributesW(Wide("Léto/skrytý.txt").c_str(), FILE_ATTRIBUTE_HIDDEN));
    RenameOptions o;
    o.Path = tree.path("Léto");
    o.SubDir = true;
    o.RenameDir = true;
    o.ReplaceSpace = true;
    const std::vector<Row> rows = RunWith(o);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows.back(), (Row{tree.path("Léto"), rkDirRenamed, "Leto"}));
    const std::string prefix = tree.path("Léto") + "\\";
    EXPECT_NE(std::find(rows.begin(), rows.end(),
                        Row{prefix + "Ěčko\\řeka.jpg", rkFileRenamed, "reka.jpg"}),
              rows.end());
    EXPECT_NE(std::find(rows.begin(), rows.end(), Row{prefix + "Ěčko", rkDirRenamed, "Ecko"}),
              rows.end());
    EXPECT_EQ(counters.FileCount, 3);
    EXPECT_EQ(counters.DirCount, 2);
    EXPECT_EQ(tree.Snapshot(), (Tree{{"Leto/", ""},
                                     {"Leto/Ecko/", ""},
                                     {"Leto/Ecko/reka.jpg", "Léto/Ěčko/řeka.jpg"},
                                     {"Leto/Zlutoucky_kun.txt", "Léto/Žluťoučký kůň.txt"},
                                     {"Leto/skryty.txt", "Léto/skrytý.txt"}}));
}

TEST_F(RunWin32, NeverOverwritesAndLogsTheFailure) {
    tree.Add("C.txt");
    tree.Add("Č.txt");
    RenameOptions o;
    o.Path = tree.path();
    const std::vector<Row> rows = RunWith(o);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (Row{tree.path("Č.txt"), rkFailed, "C.txt"}));
    EXPECT_EQ(tree.Snapshot(), (Tree{{"C.txt", "C.txt"}, {"Č.txt", "Č.txt"}}));
}

TEST_F(RunWin32, CaseOnlyRenameReallyChangesTheName) {
    tree.Add("abc.txt");
    RenameOptions o;
    o.Path = tree.path();
    o.ToUpperCase = true;
    const std::vector<Row> rows = RunWith(o);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].kind, rkFileRenamed);
    EXPECT_EQ(tree.Snapshot(), (Tree{{"ABC.TXT", "abc.txt"}}));
}

TEST_F(RunWin32, FileInUseFailsAndStays) {
    tree.Add("č.txt");
    const HANDLE held = ::CreateFileW(Wide("č.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    RenameOptions o;
    o.Path = tree.path();
    const std::vector<Row> rows = RunWith(o);
    ::CloseHandle(held);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].kind, rkFailed);
    EXPECT_EQ(counters.FileCount, 0);
    EXPECT_EQ(tree.Snapshot(), (Tree{{"č.txt", "č.txt"}}));
}

TEST(PathRulesWin32, ChosenFolderSplitsAtBackslashSlashAndColon) {
    struct Case {
        std::string path, prefix, name;
    };
    for (const Case& c : {Case{"C:\\Fotky\\Léto", "C:\\Fotky\\", "Léto"},
                          Case{"C:\\Fotky\\Léto\\", "C:\\Fotky\\", "Léto"},
                          Case{"C:/Fotky/Léto/", "C:/Fotky/", "Léto"}, Case{"C:Léto", "C:", "Léto"},
                          Case{"C:\\", "C:", ""}, Case{"C:", "C:", ""}, Case{"Léto", "", "Léto"}}) {
        const tovana::ChosenFolder split = tovana::SplitChosenFolder(c.path);
        EXPECT_EQ(split.prefix, c.prefix) << c.path;
        EXPECT_EQ(split.name, c.name) << c.path;
    }
    EXPECT_EQ(tovana::FolderPrefix("C:"), "C:\\");
    EXPECT_EQ(tovana::FolderPrefix("C:\\Fotky/"), "C:\\Fotky/\\");
    EXPECT_EQ(tovana::FolderPrefix("C:\\Fotky\\"), "C:\\Fotky\\");
}

TEST(WideText, LoneSurrogatesSurviveTheRoundTrip) {
    const std::wstring names[] = {L"abc", L"\x010D\x0159", std::wstring(1, wchar_t(0xD800)) + L"x",
                                  L"\xD83D\xDE00"};
    for (const std::wstring& name : names) {
        EXPECT_EQ(tovana::WideFromUtf8(tovana::Utf8FromWide(name)), name);
    }
}

// A leading dot hides nothing here: the rules treat it as any other character.
TEST_F(RunWin32, LeadingDotIsAnOrdinaryCharacter) {
    tree.AddFile("_.jpg", "photo");
    tree.AddFile(".config-x.json", "config");
    RenameOptions o;
    o.Path = tree.path();
    o.RemoveUnderline = true;
    o.NonAlphaNum = true;
    RunWith(o);
    EXPECT_EQ(tree.Snapshot(), (Tree{{".jpg", "photo"}, {"configx.json", "config"}}));
}

}  // namespace
