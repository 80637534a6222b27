#include "rename/RenameRun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <utility>

#include "rename/DryRunFileSystem.h"
#include "rename/FileSystemPosix.h"
#include "support/CaseLabel.h"
#include "support/FaultySyscalls.h"
#include "support/RecordingSink.h"
#include "support/TempTree.h"

namespace {

using tovana::RenameOptions;
using tovana::rkDirRenamed;
using tovana::rkFailed;
using tovana::rkFileRenamed;
using tovana::test::Row;
using Tree = std::map<std::string, std::string>;

class RenameRunTest : public testing::Test {
  protected:
    RenameOptions Options(bool subDir, bool renameDir) const {
        RenameOptions o;
        o.Path = tree.path();
        o.SubDir = subDir;
        o.RenameDir = renameDir;
        return o;
    }

    std::vector<Row> RunWith(const RenameOptions& options, tovana::Syscalls& calls) {
        tovana::FileSystemPosix fileSystem(calls);
        sink = {};
        tovana::Run(options, fileSystem, sink, counters);
        return sink.rows;
    }

    std::vector<Row> RunWith(const RenameOptions& options) {
        return RunWith(options, tovana::RealSyscalls());
    }

    void Build(std::initializer_list<const char*> specs) {
        for (const char* entry : specs) {
            tree.Add(entry);
        }
        contentsBefore = tovana::test::Contents(tree.root());
    }

    void ExpectNoFileLost() const {
        EXPECT_EQ(tovana::test::Contents(tree.root()), contentsBefore);
    }

    std::string P(const std::string& relative) const { return tree.path(relative); }

    tovana::test::TempTree tree;
    tovana::test::RecordingSink sink;
    tovana::RunCounters counters;
    std::multiset<std::string> contentsBefore;
};

TEST_F(RenameRunTest, FoldersAfterTheirContentsWithOldParentNamesInRows) {
    Build({"Á/Ě/Č/"});
    RenameOptions o = Options(true, true);
    o.Path = P("Á");
    const std::vector<Row> expected = {{P("Á/Ě/Č"), rkDirRenamed, "C"},
                                       {P("Á/Ě"), rkDirRenamed, "E"},
                                       {P("Á"), rkDirRenamed, "A"}};
    EXPECT_EQ(RunWith(o), expected);
    EXPECT_EQ(counters.DirCount, 3);
    EXPECT_EQ(counters.FileCount, 0);
    EXPECT_EQ(tree.Snapshot(), (Tree{{"A/", ""}, {"A/E/", ""}, {"A/E/C/", ""}}));
}

TEST_F(RenameRunTest, WithoutSubfoldersOnlyTopFilesAndTheChosenFolder) {
    Build({"Ž/č.txt", "ř.txt", "Ž/"});
    RenameOptions o = Options(false, true);
    o.Path = P("Ž");
    RunWith(o);
    EXPECT_EQ(tree.Snapshot(), (Tree{{"Z/", ""}, {"Z/c.txt", "Ž/č.txt"}, {"ř.txt", "ř.txt"}}));
    EXPECT_EQ(counters.FileCount, 1);
    EXPECT_EQ(counters.DirCount, 1);
}

TEST_F(RenameRunTest, SubfoldersWalkedButNotRenamedWithoutRenameDir) {
    Build({"Ú/ů.txt", "dotted/.svn/č.txt", "dotted/.profilé"});
    RunWith(Options(true, false));
    EXPECT_EQ(tree.Snapshot(), (Tree{{"Ú/", ""},
                                     {"Ú/u.txt", "Ú/ů.txt"},
                                     {"dotted/", ""},
                                     {"dotted/.profile", "dotted/.profilé"},
                                     {"dotted/.svn/", ""},
                                     {"dotted/.svn/č.txt", "dotted/.svn/č.txt"}}));
    EXPECT_EQ(counters.FileCount, 2);
    EXPECT_EQ(counters.DirCount, 0);
}

TEST_F(RenameRunTest, TrailingDelimiterMakesNoDifference) {
    Build({"Účty/Léto/č.txt"});
    for (const std::string suffix : {"", "/"}) {
        SCOPED_TRACE("suffix '" + suffix + "'");
        std::filesystem::remove_all(tree.root() / "Účty");
        Build({"Účty/Léto/č.txt"});
        RenameOptions o = Options(false, true);
        o.Path = P("Účty/Léto") + suffix;
        const std::vector<Row> expected = {{P("Účty/Léto/č.txt"), rkFileRenamed, "c.txt"},
                                           {P("Účty/Léto"), rkDirRenamed, "Leto"}};
        EXPECT_EQ(RunWith(o), expected);
        EXPECT_EQ(
            tree.Snapshot(),
            (Tree{{"Účty/", ""}, {"Účty/Leto/", ""}, {"Účty/Leto/c.txt", "Účty/Léto/č.txt"}}));
    }
}

TEST_F(RenameRunTest, CollisionKeepsBothFilesAndFailsTheNewcomer) {
    Build({"C.txt", "Č.txt", "b.txt", "b_.txt", "b .txt"});
    RenameOptions o = Options(false, false);
    o.RemoveSpace = true;
    o.RemoveUnderline = true;
    const std::vector<Row> rows = RunWith(o);
    EXPECT_EQ(rows.size(), 3u);
    for (const Row& row : rows) {
        EXPECT_EQ(row.kind, rkFailed) << row.path;
    }
    EXPECT_EQ(counters.FileCount, 0);
    ExpectNoFileLost();
    EXPECT_EQ(tree.Snapshot().at("C.txt"), "C.txt");
}

TEST_F(RenameRunTest, EachEntryIsHandledOnceUnderTheNameItHadWhenMet) {
    // Upper-casing ł gives Ł, which a second look would turn into L: it must not get one.
    Build({"ł.txt", "a.txt"});
    RenameOptions o = Options(false, false);
    o.ToUpperCase = true;
    RunWith(o);
    EXPECT_EQ(counters.FileCount, 2);
    EXPECT_EQ(sink.rows.size(), 2u);
    EXPECT_EQ(tree.Snapshot(), (Tree{{"A.TXT", "a.txt"}, {"Ł.TXT", "ł.txt"}}));
}

TEST_F(RenameRunTest, EmptyOrDotNamesFailWithoutTouchingTheEntry) {
    Build({"___", "_._"});
    RenameOptions o = Options(false, false);
    o.RemoveUnderline = true;
    const std::vector<Row> rows = RunWith(o);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].kind, rkFailed);
    EXPECT_EQ(rows[1].kind, rkFailed);
    ExpectNoFileLost();
}

TEST_F(RenameRunTest, LinkToFolderIsRenamedButNeverWalked) {
    tovana::test::TempTree outside;
    outside.Add("č.txt");
    Build({"in/", "in/ř.txt"});
    tree.Add("in/Šlink -> " + outside.path());
    tree.Add("in/žfile -> ř.txt");
    tree.Add("in/ďangling -> nowhere");
    RenameOptions o = Options(true, true);
    o.Path = P("in");
    RunWith(o);
    EXPECT_EQ(outside.Snapshot(), (Tree{{"č.txt", "č.txt"}}));
    EXPECT_EQ(tree.Snapshot(), (Tree{{"in/", ""},
                                     {"in/r.txt", "in/ř.txt"},
                                     {"in/Slink", "-> " + outside.path()},
                                     {"in/zfile", "-> ř.txt"},
                                     {"in/dangling", "-> nowhere"}}));
    EXPECT_EQ(counters.DirCount, 1);
    EXPECT_EQ(counters.FileCount, 3);
}

TEST_F(RenameRunTest, UnreadableFolderIsSkippedButStillRenamed) {
    Build({"Ř/ů.txt", "ok/č.txt"});
    tovana::test::FaultySyscalls calls;
    calls.fault = [](tovana::test::Call call, const std::string& name) {
        return call == tovana::test::Call::OpenAt && name == "Ř" ? EACCES : 0;
    };
    RunWith(Options(true, true), calls);
    EXPECT_EQ(sink.unreadable, std::vector<std::string>{P("Ř/")});
    EXPECT_EQ(tree.Snapshot(),
              (Tree{{"R/", ""}, {"R/ů.txt", "Ř/ů.txt"}, {"ok/", ""}, {"ok/c.txt", "ok/č.txt"}}));
    EXPECT_EQ(calls.openDescriptors, 0);
}

TEST_F(RenameRunTest, MissingFolderLogsOnlyTheChosenFoldersFailedRename) {
    RenameOptions o = Options(true, true);
    o.Path = P("Léto");
    const std::vector<Row> expected = {{P("Léto"), rkFailed, "Leto"}};
    EXPECT_EQ(RunWith(o), expected);
    EXPECT_EQ(counters.DirCount, 0);
    o.RenameDir = false;
    EXPECT_TRUE(RunWith(o).empty());
}

TEST_F(RenameRunTest, InvalidUtf8AndDecomposedNames) {
    tree.AddFile("bad\xFF č.txt", "bad");
    tree.AddFile("Z\u030Cluc\u030Cka.txt", "decomposed");
    RenameOptions o = Options(false, false);
    o.Legacy = tovana::LegacyCodePage::None;
    RunWith(o);
    EXPECT_EQ(tree.Snapshot(), (Tree{{"bad\xFF c.txt", "bad"}, {"Zlucka.txt", "decomposed"}}));
}

TEST_F(RenameRunTest, CaseOnlyRenameOnCaseSensitiveFileSystem) {
    Build({"abc.txt"});
    RenameOptions o = Options(false, false);
    o.ToUpperCase = true;
    RunWith(o);
    EXPECT_EQ(tree.Snapshot(), (Tree{{"ABC.TXT", "abc.txt"}}));
}

TEST_F(RenameRunTest, CaseOnlyRenameOnCaseInsensitiveFileSystemGoesThroughATemporaryName) {
    Build({"abc.txt", "Ábc.TXT"});
    tovana::test::CaseInsensitiveSyscalls calls;
    RenameOptions o = Options(false, false);
    o.ToUpperCase = true;
    RunWith(o, calls);
    // abc.txt -> ABC.TXT is a case-only change; Ábc.TXT -> ABC.TXT then collides.
    const Tree after = tree.Snapshot();
    EXPECT_EQ(after.count("ABC.TXT"), 1u);
    EXPECT_EQ(after.at("ABC.TXT"), "abc.txt");
    EXPECT_EQ(after.count("Ábc.TXT"), 1u);
    EXPECT_EQ(after.size(), 2u);
    ExpectNoFileLost();
}

// On vfat or exFAT Čaj.txt cannot become Caj.txt beside CAJ.TXT; the dry run must say so there,
// and only there.
TEST_F(RenameRunTest, DryRunComparesNamesAsTheFileSystemDoes) {
    class CaseBlind : public tovana::FileSystemPosix {
      public:
        bool IgnoresCase(tovana::Folder&) override { return true; }
    };
    Build({"Čaj.txt", "CAJ.TXT"});
    tovana::FileSystemPosix caseSensitive;
    CaseBlind caseBlind;
    for (tovana::FileSystem* real : {static_cast<tovana::FileSystem*>(&caseSensitive),
                                     static_cast<tovana::FileSystem*>(&caseBlind)}) {
        tovana::DryRunFileSystem dry(*real);
        sink = {};
        tovana::Run(Options(false, false), dry, sink, counters);
        ASSERT_EQ(sink.rows.size(), 1u);
        EXPECT_EQ(sink.rows[0].kind, real == &caseBlind ? rkFailed : rkFileRenamed);
    }
    EXPECT_EQ(tree.Snapshot(), (Tree{{"CAJ.TXT", "CAJ.TXT"}, {"Čaj.txt", "Čaj.txt"}}));
}

TEST_F(RenameRunTest, HardLinkedCaseTwinsAreNeitherMergedNorLost) {
    // Two names of one file that differ only in case: the first step of the two-step rename
    // succeeds, the second finds the twin, and the entry goes back to its old name.
    Build({"a"});
    std::filesystem::create_hard_link(tree.root() / "a", tree.root() / "A");
    RenameOptions o = Options(false, false);
    o.ToUpperCase = true;
    const std::vector<Row> rows = RunWith(o);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].kind, rkFailed);
    EXPECT_EQ(tree.Snapshot(), (Tree{{"A", "a"}, {"a", "a"}}));
}

TEST_F(RenameRunTest, FailedSecondStepPutsTheEntryBack) {
    Build({"abc.txt"});
    tovana::test::CaseInsensitiveSyscalls calls;
    RenameOptions o = Options(false, false);
    o.ToUpperCase = true;
    int renames = 0;
    calls.fault = [&renames](tovana::test::Call call, const std::string&) {
        // The first rename is refused by the file system itself; fail the second step only.
        if (call != tovana::test::Call::RenameAt2) {
            return 0;
        }
        return ++renames == 2 ? EIO : 0;
    };
    const std::vector<Row> rows = RunWith(o, calls);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].kind, rkFailed);
    EXPECT_EQ(tree.Snapshot(), (Tree{{"abc.txt", "abc.txt"}}));
}

TEST_F(RenameRunTest, HardLinksThatAreNoCaseTwinsTakeNoTemporaryName) {
    // č.txt -> c.txt collides with another name of the same file: a plain collision, refused
    // at once, never a detour through a temporary name.
    Build({"č.txt"});
    std::filesystem::create_hard_link(tree.root() / "č.txt", tree.root() / "c.txt");
    const std::vector<Row> rows = RunWith(Options(false, false));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (Row{P("č.txt"), rkFailed, "c.txt"}));
    EXPECT_TRUE(sink.temporaries.empty()) << sink.temporaries[0].temporary;
    EXPECT_EQ(tree.Snapshot(), (Tree{{"c.txt", "č.txt"}, {"č.txt", "č.txt"}}));
}

// A sink that changes the tree as soon as the first row comes, while the run goes on.
class ChangingSink : public tovana::test::RecordingSink {
  public:
    void Append(tovana::LogEntry&& entry) override {
        RecordingSink::Append(std::move(entry));
        if (change) {
            std::exchange(change, nullptr)();
        }
    }
    std::function<void()> change;
};

struct SwapCase {
    const char* label;
    // What takes the place of a/Čeština's parent or of the folder itself during the run.
    void (*swap)(const std::filesystem::path& root);
    tovana::ResultKind lastRow;
    Tree after;
};

class ChosenFolderSwapped : public RenameRunTest, public testing::WithParamInterface<SwapCase> {};

// The chosen folder is renamed last, in the parent it had when the run started, and only while
// that parent still holds it: never a folder that took its path meanwhile.
TEST_P(ChosenFolderSwapped, OnlyTheFolderTheRunStartedFromIsRenamed) {
    Build({"a/Čeština/č.txt", "victim/Čeština/ř.txt"});
    RenameOptions o = Options(true, true);
    o.Path = P("a/Čeština");
    ChangingSink changing;
    const std::filesystem::path root = tree.root();
    changing.change = [&] { GetParam().swap(root); };
    tovana::FileSystemPosix fileSystem;
    tovana::Run(o, fileSystem, changing, counters);
    const std::vector<Row> expected = {{P("a/Čeština/č.txt"), rkFileRenamed, "c.txt"},
                                       {P("a/Čeština"), GetParam().lastRow, "Cestina"}};
    EXPECT_EQ(changing.rows, expected);
    Tree after = GetParam().after;
    for (auto& [path, content] : after) {
        if (content == "-> ROOT/victim") {
            content = "-> " + P("victim");
        }
    }
    EXPECT_EQ(tree.Snapshot(), after);
}

INSTANTIATE_TEST_SUITE_P(
    Swaps, ChosenFolderSwapped,
    testing::Values(SwapCase{"ParentForALinkElsewhere",
                             [](const std::filesystem::path& root) {
                                 std::filesystem::rename(root / "a", root / "a.old");
                                 std::filesystem::create_directory_symlink(root / "victim",
                                                                           root / "a");
                             },
                             rkDirRenamed,
                             {{"a", "-> ROOT/victim"},
                              {"a.old/", ""},
                              {"a.old/Cestina/", ""},
                              {"a.old/Cestina/c.txt", "a/Čeština/č.txt"},
                              {"victim/", ""},
                              {"victim/Čeština/", ""},
                              {"victim/Čeština/ř.txt", "victim/Čeština/ř.txt"}}},
                    SwapCase{"FolderForAnother",
                             [](const std::filesystem::path& root) {
                                 std::filesystem::rename(root / "a/Čeština", root / "a/moved");
                                 std::filesystem::create_directory(root / "a/Čeština");
                             },
                             rkFailed,
                             {{"a/", ""},
                              {"a/moved/", ""},
                              {"a/moved/c.txt", "a/Čeština/č.txt"},
                              {"a/Čeština/", ""},
                              {"victim/", ""},
                              {"victim/Čeština/", ""},
                              {"victim/Čeština/ř.txt", "victim/Čeština/ř.txt"}}}),
    tovana::test::CaseLabel());

struct LinkCase {
    const char* label;
    bool subDir;
    bool renameDir;
};

class LinksListed : public RenameRunTest, public testing::WithParamInterface<LinkCase> {};

// A link is looked through only when its own name would change: a link into a mount that
// never answers must not hold up a run that leaves it alone.
TEST_P(LinksListed, AreFollowedOnlyWhenTheirNameWouldChange) {
    Build({"dir/", "dir/x.txt"});
    tree.Add("plain -> /nonexistent/stalled/mount");
    tree.Add("folder -> dir");
    tree.Add("Čaj -> dir/x.txt");
    tovana::test::FaultySyscalls calls;
    RunWith(Options(GetParam().subDir, GetParam().renameDir), calls);
    EXPECT_EQ(calls.followed, std::vector<std::string>{"Čaj"});
    EXPECT_EQ(tree.Snapshot(), (Tree{{"Caj", "-> dir/x.txt"},
                                     {"dir/", ""},
                                     {"dir/x.txt", "dir/x.txt"},
                                     {"folder", "-> dir"},
                                     {"plain", "-> /nonexistent/stalled/mount"}}));
}

INSTANTIATE_TEST_SUITE_P(Options, LinksListed,
                         testing::Values(LinkCase{"TopFolderOnly", false, false},
                                         LinkCase{"Subfolders", true, false},
                                         LinkCase{"SubfoldersRenamed", true, true}),
                         tovana::test::CaseLabel());

TEST_F(RenameRunTest, TwoRunsCountSeparately) {
    Build({"č.txt", "ř.txt"});
    RenameOptions o = Options(false, false);
    o.Masks = "*.TXT";
    RunWith(o);
    EXPECT_EQ(counters.FileCount, 2);
    tree.Add("š.txt");
    RunWith(o);
    EXPECT_EQ(counters.FileCount, 1);
}

TEST(SummaryText, WordsStayForEveryCount) {
    EXPECT_EQ(tovana::SummaryText({0, 0}), "Přejmenováno:\r\r0 souborů\r0 adresářů");
    EXPECT_EQ(tovana::SummaryText({1, 2}), "Přejmenováno:\r\r1 souborů\r2 adresářů");
}

}  // namespace
