// The run on the Windows file system (under Wine here): real trees with Czech names.
#include <windows.h>

#include <gtest/gtest.h>

#include "journal/JournalStore.h"
#include "names/PathRules.h"
#include "names/WideText.h"
#include "rename/DryRunFileSystem.h"
#include "rename/FileSystemWin32.h"
#include "rename/Platform.h"
#include "rename/RenameRun.h"
#include "support/CaseLabel.h"
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
    static void RemoveTree(const std::wstring& folder) {
        WIN32_FIND_DATAW data;
        const HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = data.cFileName;
                if (name == L"." || name == L"..") {
                    continue;
                }
                const std::wstring path = folder + L"\\" + name;
                if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                    RemoveTree(path);
                } else {
                    ::DeleteFileW(path.c_str());
                }
            } while (::FindNextFileW(find, &data));
            ::FindClose(find);
        }
        ::RemoveDirectoryW(folder.c_str());
    }

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

// The recycle bin and its kin on a drive root are Windows' own: the walk leaves them alone as it
// does the dot-folders. Only hidden and system together mark them; either alone does not.
TEST_F(RunWin32, LeavesHiddenSystemFoldersAlone) {
    for (const char* entry : {"D/$RECYCLE.BIN/Smazaný.txt", "D/System Volume Information/Účet.dat",
                              "D/Skrytá/Čaj.txt", "D/Systémová/Čaj.txt"}) {
        tree.Add(entry);
    }
    const auto set = [this](const char* folder, DWORD attributes) {
        ASSERT_TRUE(::SetFileAttributesW(Wide(std::string("D/") + folder).c_str(), attributes))
            << folder;
    };
    set("$RECYCLE.BIN", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    set("System Volume Information", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    set("Skrytá", FILE_ATTRIBUTE_HIDDEN);
    set("Systémová", FILE_ATTRIBUTE_SYSTEM);
    RenameOptions o;
    o.Path = tree.path("D");
    o.SubDir = true;
    o.RenameDir = true;
    o.NonAlphaNum = true;
    RunWith(o);
    EXPECT_EQ(
        tree.Snapshot(),
        (Tree{{"D/", ""},
              {"D/$RECYCLE.BIN/", ""},
              {"D/$RECYCLE.BIN/Smazaný.txt", "D/$RECYCLE.BIN/Smazaný.txt"},
              {"D/Skryta/", ""},
              {"D/Skryta/Caj.txt", "D/Skrytá/Čaj.txt"},
              {"D/Systemova/", ""},
              {"D/Systemova/Caj.txt", "D/Systémová/Čaj.txt"},
              {"D/System Volume Information/", ""},
              {"D/System Volume Information/Účet.dat", "D/System Volume Information/Účet.dat"}}));
    EXPECT_EQ(counters.DirCount, 2);
    EXPECT_EQ(counters.FileCount, 2);
}

// The chosen folder's own name comes from the disk: typed in other letters or by its short
// name, it is still renamed from its stored name, and no case option is made up.
TEST_F(RunWin32, ChosenFolderIsRenamedFromItsStoredName) {
    tree.Add("Česká Fotka/Řeka.txt");
    tree.Add("Dlouhá česká složka/");
    wchar_t shortPath[MAX_PATH];
    const DWORD length =
        ::GetShortPathNameW(Wide("Dlouhá česká složka").c_str(), shortPath, MAX_PATH);
    ASSERT_GT(length, 0u);
    const std::string shortName = tovana::SplitChosenFolder(tovana::Utf8FromWide(shortPath)).name;
    ASSERT_NE(shortName, "Dlouhá česká složka");
    RenameOptions o;
    o.SubDir = true;
    o.RenameDir = true;
    for (const std::string& typed : {std::string("ČESKÁ FOTKA"), shortName}) {
        o.Path = tree.path(typed);
        const std::vector<Row> rows = RunWith(o);
        ASSERT_FALSE(rows.empty()) << typed;
        EXPECT_EQ(rows.back().kind, rkDirRenamed) << typed;
    }
    EXPECT_EQ(tree.Snapshot(), (Tree{{"Ceska Fotka/", ""},
                                     {"Ceska Fotka/Reka.txt", "Česká Fotka/Řeka.txt"},
                                     {"Dlouha ceska slozka/", ""}}));
}

// While the walk is inside a folder, nobody can rename or remove it, so it cannot be swapped for
// a junction leading elsewhere; renames inside it go on; once the walk leaves it, it is free.
TEST_F(RunWin32, FoldersOfTheWalkCannotBeSwappedMeanwhile) {
    tree.Add("Léto/Ěčko/řeka.txt");
    const auto fileSystem = tovana::MakeFileSystem();
    std::error_code error;
    auto root = fileSystem->OpenFolder(tree.path("Léto"), error);
    ASSERT_TRUE(root) << error.message();
    auto sub = fileSystem->OpenSubfolder(*root, "Ěčko", error);
    ASSERT_TRUE(sub) << error.message();
    EXPECT_FALSE(::MoveFileExW(Wide("Léto/Ěčko").c_str(), Wide("Jinam").c_str(), 0));
    EXPECT_FALSE(::MoveFileExW(Wide("Léto").c_str(), Wide("Jinam").c_str(), 0));
    EXPECT_FALSE(fileSystem->Rename(*sub, "řeka.txt", "reka.txt"));
    sub.reset();
    EXPECT_FALSE(fileSystem->Rename(*root, "Ěčko", "Ecko"));
    root.reset();
    EXPECT_TRUE(::MoveFileExW(Wide("Léto").c_str(), Wide("Jinam").c_str(), 0));
    EXPECT_EQ(
        tree.Snapshot(),
        (Tree{{"Jinam/", ""}, {"Jinam/Ecko/", ""}, {"Jinam/Ecko/reka.txt", "Léto/Ěčko/řeka.txt"}}));
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

// The dry run must foresee the collisions Windows makes, which ignores letter case: Čaj.txt
// cannot become Caj.txt beside CAJ.TXT, while a change of case alone goes through.
struct DryCase {
    const char* label;
    std::vector<const char*> entries;
    bool upper;
};

class DryRunWin32 : public RunWin32, public testing::WithParamInterface<DryCase> {};

TEST_P(DryRunWin32, ShowsTheRowsOfTheRealRun) {
    for (const char* entry : GetParam().entries) {
        tree.Add(entry);
    }
    RenameOptions o;
    o.Path = tree.path();
    o.ToUpperCase = GetParam().upper;
    const auto fileSystem = tovana::MakeFileSystem();
    tovana::DryRunFileSystem dry(*fileSystem);
    tovana::Run(o, dry, sink, counters);
    const std::vector<Row> dryRows = sink.rows;
    EXPECT_EQ(RunWith(o), dryRows);
}

INSTANTIATE_TEST_SUITE_P(
    RunWin32, DryRunWin32,
    testing::Values(DryCase{"TwinInOtherCase", {"Čaj.txt", "CAJ.TXT", "Řeka.txt"}, false},
                    DryCase{"LowerCaseTwin", {"Účty.txt", "ucty.txt"}, false},
                    DryCase{"CaseAloneChanges", {"abc.txt", "Dům.TXT"}, true}),
    tovana::test::CaseLabel());

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

// Windows drops trailing dots and spaces from a new name: the row must give the name the entry
// really has, and a name that would be reduced to nothing fails.
struct TrailingCase {
    const char* label;
    std::vector<const char*> entries;
    bool renamed;
    const char* newName;  // as the row gives it
    Tree after;
};

class TrailingDotsAndSpaces : public RunWin32, public testing::WithParamInterface<TrailingCase> {};

TEST_P(TrailingDotsAndSpaces, RowSaysWhatTheDiskHolds) {
    const TrailingCase& c = GetParam();
    for (const char* entry : c.entries) {
        tree.Add(entry);
    }
    RenameOptions o;
    o.Path = tree.path();
    o.ReplaceUnderline = true;
    const std::vector<Row> rows = RunWith(o);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0],
              (Row{tree.path(c.entries.front()), c.renamed ? rkFileRenamed : rkFailed, c.newName}));
    EXPECT_EQ(counters.FileCount, c.renamed ? 1 : 0);
    EXPECT_EQ(tree.Snapshot(), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    RunWin32, TrailingDotsAndSpaces,
    testing::Values(
        TrailingCase{"TrailingSpace", {"Čaj_"}, true, "Caj", {{"Caj", "Čaj_"}}},
        TrailingCase{"DotsAndSpaces", {"Řeka_._"}, true, "Reka", {{"Reka", "Řeka_._"}}},
        TrailingCase{"NothingLeft", {"_._"}, false, " . ", {{"_._", "_._"}}},
        TrailingCase{
            "TakenNameStays", {"Čaj_", "Caj"}, false, "Caj", {{"Caj", "Caj"}, {"Čaj_", "Čaj_"}}}),
    tovana::test::CaseLabel());

TEST(PathRulesWin32, NameTheSystemKeepsLosesTrailingDotsAndSpaces) {
    for (const auto& [name, kept] : std::vector<std::pair<std::string, std::string>>{
             {"Caj ", "Caj"}, {"a. .", "a"}, {"...", ""}, {"  ", ""}, {" a.b", " a.b"}}) {
        EXPECT_EQ(tovana::NameTheSystemKeeps(name), kept) << name;
    }
}

// Every path the file system hands to Windows is in the form that has no 260-character limit.
// (Wine has no such limit either, so a deep tree alone cannot show the difference.)
TEST(FileSystemWin32, PathsGoToTheSystemInTheirLongForm) {
    wchar_t current[MAX_PATH];
    ASSERT_GT(::GetCurrentDirectoryW(MAX_PATH, current), 0u);
    const std::wstring here = current;
    struct Case {
        std::wstring path, expected;
    };
    for (const Case& c : {
             Case{L"C:\\Fotky\\Léto", L"\\\\?\\C:\\Fotky\\Léto"},
             Case{L"C:/Fotky/Léto/", L"\\\\?\\C:\\Fotky\\Léto\\"},
             Case{L"C:\\Fotky\\..\\Účty\\.\\Léto", L"\\\\?\\C:\\Účty\\Léto"},
             Case{L"C:\\", L"\\\\?\\C:\\"},
             Case{L"\\\\server\\sdílení\\Léto", L"\\\\?\\UNC\\server\\sdílení\\Léto"},
             Case{L"//server/sdílení/Léto", L"\\\\?\\UNC\\server\\sdílení\\Léto"},
             Case{L"\\\\?\\C:\\Fotky", L"\\\\?\\C:\\Fotky"},
             Case{L"Léto", L"\\\\?\\" + here + (here.back() == L'\\' ? L"" : L"\\") + L"Léto"},
         }) {
        EXPECT_EQ(tovana::LongPathForm(c.path), c.expected) << tovana::Utf8FromWide(c.path);
    }
}

// Several folders are renamed at once on a network drive (where each rename is a round trip),
// one at a time on a local disk. Under Wine, scripts/wine-prefix maps N: as a network drive.
TEST_F(RunWin32, NetworkDriveIsRemoteLocalDiskIsNot) {
    if (::GetDriveTypeW(L"N:\\") != DRIVE_REMOTE) {
        GTEST_SKIP() << "no network drive N: here (scripts/wine-prefix maps one under Wine)";
    }
    const std::wstring shared = L"N:\\tovana-" + std::to_wstring(::GetCurrentProcessId());
    ASSERT_TRUE(::CreateDirectoryW(shared.c_str(), nullptr));
    tree.Add("Léto/");
    const auto fileSystem = tovana::MakeFileSystem();
    for (const auto& [path, remote] :
         {std::pair{tovana::Utf8FromWide(shared), true}, std::pair{tree.path("Léto"), false}}) {
        std::error_code error;
        const auto folder = fileSystem->OpenFolder(path, error);
        ASSERT_TRUE(folder) << path << ": " << error.message();
        EXPECT_EQ(fileSystem->Remote(*folder), remote) << path;
    }
    ::RemoveDirectoryW(shared.c_str());
}

// A tree deeper than 260 characters is walked and renamed whole; rows keep the path as given.
TEST_F(RunWin32, RenamesBeyond260Characters) {
    std::string deep;
    for (int level = 0; level < 24; ++level) {
        deep += "Složka číslo " + std::to_string(level) + "/";
    }
    const std::string file = deep + "Žluťoučký kůň.txt";
    ASSERT_GT(tovana::WideFromUtf8(tree.path(file)).size(), 400u);
    tree.Add(file);
    RenameOptions o;
    o.Path = tree.path("Složka číslo 0");
    o.SubDir = true;
    o.RenameDir = true;
    const std::vector<Row> rows = RunWith(o);
    ASSERT_EQ(rows.size(), 25u);
    EXPECT_EQ(rows.front(), (Row{tree.path(file), rkFileRenamed, "Zlutoucky kun.txt"}));
    EXPECT_EQ(counters.DirCount, 24);
    std::string renamed;
    for (int level = 0; level < 24; ++level) {
        renamed += "Slozka cislo " + std::to_string(level) + "/";
    }
    // The standard library's own walk stops at 260 characters: the file is looked up, and the
    // tree removed, through the long form.
    const std::wstring found = tovana::LongPathForm(Wide(renamed + "Zlutoucky kun.txt"));
    EXPECT_NE(::GetFileAttributesW(found.c_str()), INVALID_FILE_ATTRIBUTES);
    RemoveTree(tovana::LongPathForm(Wide("Slozka cislo 0")));
}

// What shows under Wine that the long form reaches the system: a folder whose name ends in a
// dot (made by another program through that form) is found, walked and renamed, where the
// ordinary form would cut the dot and miss it.
TEST_F(RunWin32, ReachesNamesEndingInADot) {
    tree.Add("D/");
    const std::wstring folder = L"\\\\?\\" + Wide("D") + L"\\Léto.";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    const HANDLE file = ::CreateFileW((folder + L"\\Čaj.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ::CloseHandle(file);
    RenameOptions o;
    o.Path = tree.path("D");
    o.SubDir = true;
    o.RenameDir = true;
    const std::vector<Row> rows = RunWith(o);
    EXPECT_EQ(sink.unreadable, std::vector<std::string>{});
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (Row{tree.path("D") + "\\Léto.\\Čaj.txt", rkFileRenamed, "Caj.txt"}));
    EXPECT_EQ(rows[1], (Row{tree.path("D") + "\\Léto.", rkDirRenamed, "Leto"}));
    EXPECT_EQ(tree.Snapshot(), (Tree{{"D/", ""}, {"D/Leto/", ""}, {"D/Leto/Caj.txt", ""}}));
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

namespace {

TEST(JournalPlaceWin32, LocalAppDataOfTheUser) {
    wchar_t saved[1024] = {};
    const DWORD had = ::GetEnvironmentVariableW(L"LOCALAPPDATA", saved, 1024);
    ::SetEnvironmentVariableW(L"LOCALAPPDATA", L"C:\\Users\\jana\\AppData\\Local");
    EXPECT_EQ(tovana::JournalStore::ForCurrentUser()->folder(),
              "C:\\Users\\jana\\AppData\\Local\\Korvel\\Tovana\\journal");
    ::SetEnvironmentVariableW(L"LOCALAPPDATA", had > 0 ? saved : nullptr);
}

}  // namespace
