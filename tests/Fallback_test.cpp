// Renames on file systems without renameat2(RENAME_NOREPLACE), as FUSE (ntfs-3g, exfat-fuse,
// bindfs, fuse2fs), NFS and SMB mounts are: through the fault seam every rename flag answers
// EINVAL, with hard links and without, letter case kept or ignored. tests/real_mounts.sh does
// the same on real FUSE mounts.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "rename/DryRunFileSystem.h"
#include "rename/FileSystemPosix.h"
#include "rename/RenameRun.h"
#include "rename/SlowFileSystem.h"
#include "support/CaseLabel.h"
#include "support/FaultySyscalls.h"
#include "support/RecordingSink.h"
#include "support/TempTree.h"

namespace fs = std::filesystem;

namespace {

using tovana::RenameMethod;
using tovana::RenameOptions;
using tovana::rkDirRenamed;
using tovana::rkFailed;
using tovana::rkFileRenamed;
using tovana::test::Call;
using tovana::test::Row;
using Tree = std::map<std::string, std::string>;

struct Mode {
    const char* label;
    bool hardLinks;
    bool ignoresCase;
};

class FallbackTest : public testing::TestWithParam<Mode> {
  protected:
    FallbackTest() {
        if (GetParam().ignoresCase) {
            calls = std::make_unique<tovana::test::CaseInsensitiveSyscalls>();
        } else {
            calls = std::make_unique<tovana::test::FaultySyscalls>();
        }
        calls->renameFlags = false;
        calls->hardLinks = GetParam().hardLinks;
    }

    std::vector<Row> RunWith(const RenameOptions& options, bool dry = false) {
        tovana::FileSystemPosix real(*calls);
        tovana::DryRunFileSystem dryRun(real);
        sink = {};
        tovana::Run(options, dry ? static_cast<tovana::FileSystem&>(dryRun) : real, sink, counters);
        return sink.rows;
    }

    RenameOptions Options(const std::string& path) const {
        RenameOptions o;
        o.Path = path;
        o.SubDir = true;
        o.RenameDir = true;
        o.ReplaceSpace = true;
        return o;
    }

    RenameMethod FileMethod() const {
        return GetParam().hardLinks ? RenameMethod::LinkThenUnlink : RenameMethod::CheckThenRename;
    }

    std::unique_ptr<tovana::test::FaultySyscalls> calls;
    tovana::test::TempTree tree;
    tovana::test::RecordingSink sink;
    tovana::RunCounters counters;
};

TEST_P(FallbackTest, RenamesFilesAndFoldersAndNeverReplacesAnything) {
    for (const char* entry : {"in/Léto/Žluťoučký kůň.txt", "in/Léto/ř/", "in/C.txt", "in/Č.txt",
                              "in/b.txt", "in/dír/"}) {
        tree.Add(entry);
    }
    tree.AddFile("in/dir/keep", "keep");  // "dír" collides with a folder that holds a file
    const auto before = tovana::test::Contents(tree.root());
    const std::string in = tree.path("in") + "/";
    RunWith(Options(tree.path("in")));
    EXPECT_EQ(tovana::test::Contents(tree.root()), before);
    const Tree after = tree.Snapshot();
    EXPECT_EQ(after.at("in/C.txt"), "in/C.txt");
    EXPECT_EQ(after.at("in/Leto/Zlutoucky_kun.txt"), "in/Léto/Žluťoučký kůň.txt");
    EXPECT_EQ(after.count("in/Leto/r/"), 1u);
    EXPECT_EQ(after.count("in/Č.txt"), 1u);
    EXPECT_EQ(after.count("in/dír/"), 1u);
    EXPECT_EQ(after.count("in/dir/keep"), 1u);
    std::set<std::string> failed;
    for (const Row& row : sink.rows) {
        if (row.kind == rkFailed) {
            failed.insert(row.path + " -> " + row.newName);
        }
    }
    EXPECT_EQ(failed, (std::set<std::string>{in + "Č.txt -> C.txt", in + "dír -> dir"}));
    EXPECT_EQ(counters.FileCount, 1);
    EXPECT_EQ(counters.DirCount, 2);  // ř and Léto
}

TEST_P(FallbackTest, TheChoiceIsMadeOncePerFileSystemAndReported) {
    for (int i = 0; i < 20; ++i) {
        tree.Add("č" + std::to_string(i) + ".txt");
    }
    tree.Add("Ř/");
    RunWith(Options(tree.path()));
    EXPECT_EQ(counters.FileCount, 20);
    EXPECT_EQ(counters.DirCount, 1);
    // The first rename tries the flag, one probe tells it is missing, and that is remembered
    // (the other folder made claims the folder's new name).
    EXPECT_EQ(calls->noReplaceRenames, 2);
    EXPECT_EQ(calls->made[Call::MkdirAt], 2);
    const std::string root = tree.path() + "/";
    ASSERT_EQ(sink.fallbacks.size(), 2u);
    for (const auto& fallback : sink.fallbacks) {
        EXPECT_EQ(fallback.folderPath, root);
        EXPECT_EQ(fallback.method, fallback.folder ? RenameMethod::CheckThenRename : FileMethod());
    }
    EXPECT_NE(sink.fallbacks[0].folder, sink.fallbacks[1].folder);
    for (const auto& entry : fs::directory_iterator(tree.root())) {
        EXPECT_NE(entry.path().filename().string().rfind(".tovana-", 0), 0u) << "probe left";
    }
}

TEST_P(FallbackTest, ChangesOfLetterCaseAlone) {
    tree.Add("123/abc.txt");
    tree.Add("123/Xy.txt");
    tree.Add("123/dir/x.txt");
    RenameOptions o = Options(tree.path("123"));
    o.ToUpperCase = true;
    RunWith(o);
    EXPECT_EQ(tree.Snapshot(), (Tree{{"123/", ""},
                                     {"123/ABC.TXT", "123/abc.txt"},
                                     {"123/DIR/", ""},
                                     {"123/DIR/X.TXT", "123/dir/x.txt"},
                                     {"123/XY.TXT", "123/Xy.txt"}}));
    EXPECT_EQ(counters.FileCount, 3);
    EXPECT_EQ(counters.DirCount, 1);
}

// A slow disk in front (as the window's tests and benchmarks put it) hides nothing the file
// system tells: the same fallbacks as without it.
TEST_P(FallbackTest, SlowFileSystemPassesTheNotesOn) {
    tovana::test::TempTree copy;
    for (tovana::test::TempTree* t : {&tree, &copy}) {
        t->Add("č.txt");
        t->Add("Ř/");
    }
    RenameOptions o = Options(copy.path());
    RunWith(o);
    const auto direct = sink.fallbacks;
    ASSERT_FALSE(direct.empty());

    tovana::FileSystemPosix real(*calls);
    tovana::SlowFileSystem slow(real, std::chrono::microseconds(1));
    o.Path = tree.path();
    sink = {};
    tovana::Run(o, slow, sink, counters);
    EXPECT_EQ(counters.FileCount, 1);
    ASSERT_EQ(sink.fallbacks.size(), direct.size());
    for (std::size_t i = 0; i < direct.size(); ++i) {
        EXPECT_EQ(sink.fallbacks[i].method, direct[i].method);
        EXPECT_EQ(sink.fallbacks[i].folder, direct[i].folder);
    }
}

TEST_P(FallbackTest, DryRunShowsTheRowsOfTheRealRun) {
    tovana::test::TempTree copy;
    for (const char* entry : {"Léto/Ěčko/č.txt", "Léto/Ěčko/c.txt", "Léto/ř.txt", "b.txt",
                              "abc.txt", "ABC.txt", "Xyz.txt", "C.txt", "D/"}) {
        tree.Add(entry);
    }
    fs::copy(tree.root(), copy.root(), fs::copy_options::recursive);
    const Tree before = tree.Snapshot();
    RenameOptions o = Options(tree.path());
    o.ToLowerCase = true;
    std::vector<Row> dry = RunWith(o, true);
    EXPECT_EQ(tree.Snapshot(), before);
    o.Path = copy.path();
    const std::vector<Row> real = RunWith(o);
    for (Row& row : dry) {
        row.path.replace(0, tree.path().size(), copy.path());
    }
    EXPECT_EQ(dry, real);
    EXPECT_FALSE(real.empty());
}

INSTANTIATE_TEST_SUITE_P(FileSystems, FallbackTest,
                         testing::Values(Mode{"HardLinks", true, false},
                                         Mode{"NoHardLinks", false, false},
                                         Mode{"HardLinksCaseIgnored", true, true},
                                         Mode{"NoHardLinksCaseIgnored", false, true}),
                         [](const testing::TestParamInfo<Mode>& param) {
                             return param.param.label;
                         });

// EINVAL where the file system has the flag says the name is refused (vfat and a character it
// forbids): that rename fails, and the others keep the flag.
TEST(FallbackProbe, ARefusedNameOnAFileSystemWithTheFlagIsNoFallback) {
    tovana::test::TempTree tree;
    tree.Add("č.txt");
    tree.Add("ř.txt");
    tree.Add("š.txt");
    tovana::test::FaultySyscalls calls;
    calls.fault = [](Call call, const std::string& name) {
        return call == Call::RenameAt2 && name == "č.txt" ? EINVAL : 0;
    };
    tovana::FileSystemPosix fileSystem(calls);
    tovana::test::RecordingSink sink;
    tovana::RunCounters counters;
    RenameOptions o;
    o.Path = tree.path();
    tovana::Run(o, fileSystem, sink, counters);
    EXPECT_EQ(counters.FileCount, 2);
    EXPECT_EQ(tree.Snapshot(), (Tree{{"č.txt", "č.txt"}, {"r.txt", "ř.txt"}, {"s.txt", "š.txt"}}));
    EXPECT_EQ(calls.made[Call::LinkAt], 0);
    EXPECT_TRUE(sink.fallbacks.empty());
    // A probe tells, unless a rename with the flag already did.
    EXPECT_LE(calls.made[Call::MkdirAt], 1);
}

// What happens in the moment between the hard link and the removal of the old name: another
// program puts a file of its own under the old name. Its file stays; the entry renamed is under
// its new name.
class ReplacingAfterLink : public tovana::test::FaultySyscalls {
  public:
    std::string folder;
    int LinkAt(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath) override {
        const int result = FaultySyscalls::LinkAt(oldDirFd, oldPath, newDirFd, newPath);
        const std::string replacement = folder + "/.other";
        std::ofstream(replacement) << "theirs";
        std::filesystem::rename(replacement, folder + "/" + oldPath);
        return result;
    }
};

TEST(FallbackRace, AnOldNameTakenOverAfterTheLinkIsLeftToItsNewOwner) {
    tovana::test::TempTree tree;
    tree.Add("č.txt");
    ReplacingAfterLink calls;
    calls.folder = tree.path();
    calls.renameFlags = false;
    tovana::FileSystemPosix fileSystem(calls);
    tovana::test::RecordingSink sink;
    tovana::RunCounters counters;
    RenameOptions o;
    o.Path = tree.path();
    tovana::Run(o, fileSystem, sink, counters);
    EXPECT_EQ(tree.Snapshot(), (Tree{{"c.txt", "č.txt"}, {"č.txt", "theirs"}}));
    EXPECT_EQ(counters.FileCount, 1);
}

// Where the plain rename is the only one, the name is claimed right before it: an entry
// that appeared under the new name since the listing is not replaced.
TEST(FallbackRace, ANewNameTakenSinceTheListingIsNotReplaced) {
    tovana::test::TempTree tree;
    tree.Add("č.txt");
    tree.Add("Ř/");
    tovana::test::FaultySyscalls calls;
    calls.renameFlags = false;
    calls.hardLinks = false;
    bool made = false;
    calls.fault = [&](Call call, const std::string&) {
        if (call == Call::RenameAt2 && !made) {
            made = true;
            tree.AddFile("c.txt", "theirs");
            tree.AddFile("R/keep", "theirs too");
        }
        return 0;
    };
    tovana::FileSystemPosix fileSystem(calls);
    tovana::test::RecordingSink sink;
    tovana::RunCounters counters;
    RenameOptions o;
    o.Path = tree.path();
    o.SubDir = true;
    o.RenameDir = true;
    tovana::Run(o, fileSystem, sink, counters);
    EXPECT_EQ(tree.Snapshot(), (Tree{{"R/", ""},
                                     {"R/keep", "theirs too"},
                                     {"c.txt", "theirs"},
                                     {"Ř/", ""},
                                     {"č.txt", "č.txt"}}));
    EXPECT_EQ(counters.FileCount + counters.DirCount, 0);
}

// Where there are neither RENAME_NOREPLACE nor hard links (exFAT through FUSE, FAT), the new
// name is claimed by an empty entry of the run's own before the plain rename goes over it.
// Another program acts on the new name at the moment named; whatever it made is never lost
// without the row saying so, and no placeholder is left behind.
struct ClaimRace {
    const char* label;
    enum { AtFirstLook, BeforePlainRename } at;  // the new name's first lookup, or the rename
    enum { CreateExclusively, WriteIntoName, RefuseRename } other;
    Tree expected;
    bool fileRenamed;  // the rows say renamed
    bool folderRenamed;
};

// Calls `beforePlainRename` with the old name before each renameat2 without flags.
class PlainRenameHook : public tovana::test::FaultySyscalls {
  public:
    std::function<int(const std::string&)> beforePlainRename;
    int RenameAt2(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath,
                  unsigned flags) override {
        if (flags == 0 && beforePlainRename) {
            if (const int error = beforePlainRename(oldPath)) {
                errno = error;
                return -1;
            }
        }
        return FaultySyscalls::RenameAt2(oldDirFd, oldPath, newDirFd, newPath, flags);
    }
};

class PlaceholderRace : public testing::TestWithParam<ClaimRace> {};

TEST_P(PlaceholderRace, NothingOfTheOtherProgramIsLostUnsaid) {
    const ClaimRace& race = GetParam();
    tovana::test::TempTree tree;
    tree.Add("č.txt");
    tree.Add("Ř/");
    PlainRenameHook calls;
    calls.renameFlags = false;
    calls.hardLinks = false;
    int made = 0;  // entries the other program made of its own
    std::set<std::string> done;
    const auto other = [&](const std::string& name) {
        const bool folder = name == "Ř" || name == "R";
        if ((!folder && name != "č.txt" && name != "c.txt") || !done.insert(name).second) {
            return 0;
        }
        const std::string target = tree.path(folder ? "R" : "c.txt");
        switch (race.other) {
            case ClaimRace::CreateExclusively:
                if (folder) {
                    if (::mkdir(target.c_str(), 0700) == 0) {
                        std::ofstream(target + "/theirs") << "theirs";
                        ++made;
                    }
                } else if (const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
                           fd >= 0) {
                    made += ::write(fd, "theirs", 6) == 6;
                    ::close(fd);
                }
                return 0;
            case ClaimRace::WriteIntoName:
                if (!folder) {
                    std::ofstream(target) << "theirs";
                    ++made;
                }
                return 0;
            case ClaimRace::RefuseRename:
                return EACCES;
        }
        return 0;
    };
    if (race.at == ClaimRace::BeforePlainRename) {
        calls.beforePlainRename = other;
    } else {
        calls.fault = [&](Call call, const std::string& name) {
            return call == Call::FStatAt && (name == "c.txt" || name == "R") ? other(name) : 0;
        };
    }
    tovana::FileSystemPosix fileSystem(calls);
    tovana::test::RecordingSink sink;
    tovana::RunCounters counters;
    RenameOptions o;
    o.Path = tree.path();
    o.SubDir = true;
    o.RenameDir = true;
    tovana::Run(o, fileSystem, sink, counters);
    const Tree after = tree.Snapshot();
    EXPECT_EQ(after, race.expected);
    const auto theirs = std::count_if(after.begin(), after.end(),
                                      [](const auto& entry) { return entry.second == "theirs"; });
    if (race.fileRenamed) {
        EXPECT_EQ(theirs, made) << "another program's entry was replaced";
    }
    ASSERT_EQ(sink.rows.size(), 2u);
    for (const Row& row : sink.rows) {
        const bool folder = row.path.ends_with("Ř");
        EXPECT_EQ(row.kind != rkFailed, folder ? race.folderRenamed : race.fileRenamed) << row.path;
    }
}

INSTANTIATE_TEST_SUITE_P(
    NoLinksNoFlag, PlaceholderRace,
    testing::Values(
        // Between the last check and the rename: an exclusive creation finds the name taken.
        ClaimRace{"ExclusiveCreationBeforeTheRename", ClaimRace::BeforePlainRename,
                  ClaimRace::CreateExclusively, Tree{{"R/", ""}, {"c.txt", "č.txt"}}, true, true},
        // Before the placeholder is looked at: its new content is seen, it stays theirs.
        ClaimRace{"WrittenBeforeTheCheck", ClaimRace::AtFirstLook, ClaimRace::WriteIntoName,
                  Tree{{"R/", ""}, {"c.txt", "theirs"}, {"č.txt", "č.txt"}}, false, true},
        // Written into at the last moment: lost (the window that remains), but the row says the
        // rename failed rather than that it went well.
        ClaimRace{"WrittenJustBeforeTheRename", ClaimRace::BeforePlainRename,
                  ClaimRace::WriteIntoName, Tree{{"R/", ""}, {"c.txt", "č.txt"}}, false, true},
        // The rename refused: the placeholder goes again.
        ClaimRace{"RenameRefused", ClaimRace::BeforePlainRename, ClaimRace::RefuseRename,
                  Tree{{"Ř/", ""}, {"č.txt", "č.txt"}}, false, false}),
    tovana::test::CaseLabel());

}  // namespace
