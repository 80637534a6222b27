// No fault and no tree loses a file, escapes the chosen folder, hangs or leaks: every system
// call of a run failing in turn, hostile trees, a tree changing under the run, and saves killed
// half way.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <linux/fs.h>
#include <stdio.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <thread>

#include "rename/FileSystemPosix.h"
#include "rename/RenameRun.h"
#include "settings/FileSettingsStore.h"
#include "settings/Settings.h"
#include "support/FaultySyscalls.h"
#include "support/RecordingSink.h"
#include "support/TempTree.h"

namespace fs = std::filesystem;

namespace {

using tovana::RenameOptions;
using tovana::test::Call;
using tovana::test::TempTree;

// Files hold their own original path; folders hold a marker file naming them; links point at a
// target named after them. So after any run each entry tells what it was called.
void BuildFaultTree(TempTree& tree) {
    for (const char* entry :
         {"Á/č.txt", "Á/Ě/ř.txt", "Á/Ě/f i.txt", "C.txt", "Č.txt", "ok.txt", "Ú/"}) {
        tree.Add(entry);
    }
    for (const char* folder : {"Á", "Á/Ě", "Ú"}) {
        tree.AddFile(std::string(folder) + "/marker", std::string("folder:") + folder);
    }
    tree.Add("Á/Ě/žlink -> was-žlink");
    tree.Add("ďlink -> Á");
}

struct Renamed {
    int files = 0;
    int folders = 0;
};

// Counts the entries whose name is no longer the one they started with.
Renamed CountRenamed(const fs::path& root) {
    struct LinkMade {
        std::string name;
        bool toFolder;  // by what it was made as: renaming its target leaves it dangling
    };
    const std::map<std::string, LinkMade> links = {{"was-žlink", {"žlink", false}},
                                                   {"Á", {"ďlink", true}}};
    Renamed renamed;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const std::string name = it->path().filename().string();
        if (name.rfind(".tovana-", 0) == 0) {
            continue;  // left under a temporary name by a failed second step; still whole
        }
        if (it->is_symlink()) {
            const LinkMade& made = links.at(fs::read_symlink(it->path()).string());
            const bool changed = made.name != name;
            it.disable_recursion_pending();
            if (made.toFolder) {
                renamed.folders += changed;
            } else {
                renamed.files += changed;
            }
        } else if (it->is_directory()) {
            std::ifstream marker(it->path() / "marker");
            std::string text;
            std::getline(marker, text);
            const std::string original = text.substr(text.rfind('/') + 1);
            const std::size_t colon = original.find(':');
            renamed.folders += original.substr(colon + 1) != name;
        } else if (name != "marker") {
            std::ifstream file(it->path());
            std::string text;
            std::getline(file, text);
            renamed.files += text.substr(text.rfind('/') + 1) != name;
        }
    }
    return renamed;
}

RenameOptions FaultOptions(const std::string& path) {
    RenameOptions o;
    o.Path = path;
    o.SubDir = true;
    o.RenameDir = true;
    o.ReplaceSpace = true;
    return o;
}

// Fails the nth call of one kind with one error, counting calls of every kind.
class PlannedFaults {
  public:
    Call call = Call::OpenAt;
    int nth = 0;  // 0: never
    int error = 0;
    std::map<Call, int> seen;
    int operator()(Call c, const std::string&) { return ++seen[c] == nth && c == call ? error : 0; }
};

// The file systems the run meets: one with renameat2(RENAME_NOREPLACE), and as FUSE, NFS and
// SMB mounts are, without it, with hard links (ntfs-3g, bindfs, NFS) and without (exfat, vfat).
struct FileSystemMode {
    const char* label;
    bool renameFlags;
    bool hardLinks;
};

class FaultInjection : public testing::TestWithParam<FileSystemMode> {
  protected:
    void Prepare(tovana::test::FaultySyscalls& calls) const {
        calls.renameFlags = GetParam().renameFlags;
        calls.hardLinks = GetParam().hardLinks;
    }
};

TEST_P(FaultInjection, EveryCallFailingInTurnLosesNothing) {
    const int errors[] = {ENOENT, EACCES, EEXIST, ENAMETOOLONG, EXDEV, EIO, EMFILE, ENOSPC};
    std::map<Call, int> totals;
    {
        TempTree tree;
        BuildFaultTree(tree);
        tovana::test::CaseInsensitiveSyscalls calls;
        Prepare(calls);
        PlannedFaults counting;
        calls.fault = [&counting](Call c, const std::string& n) { return counting(c, n); };
        tovana::FileSystemPosix fileSystem(calls);
        tovana::test::RecordingSink sink;
        tovana::RunCounters counters;
        tovana::Run(FaultOptions(tree.path()), fileSystem, sink, counters);
        totals = counting.seen;
    }
    ASSERT_GT(totals[Call::RenameAt2] + totals[Call::LinkAt], 5);
    ASSERT_GT(totals[Call::FStatAt], 0) << "link checks and case checks must be exercised";
    if (!GetParam().renameFlags) {
        ASSERT_GT(totals[Call::MkdirAt], 0) << "the flag's absence must be probed";
        if (GetParam().hardLinks) {
            ASSERT_GT(totals[Call::UnlinkAt], 1) << "renames by hard link must be exercised";
        }
    }
    int injected = 0;
    for (const auto& [call, total] : totals) {
        for (int nth = 1; nth <= total; ++nth) {
            for (int error : errors) {
                SCOPED_TRACE("call " + std::to_string(static_cast<int>(call)) + " #" +
                             std::to_string(nth) + " errno " + std::to_string(error));
                TempTree tree;
                BuildFaultTree(tree);
                const auto before = tovana::test::Contents(tree.root());
                tovana::test::CaseInsensitiveSyscalls calls;
                Prepare(calls);
                PlannedFaults plan;
                plan.call = call;
                plan.nth = nth;
                plan.error = error;
                calls.fault = [&plan](Call c, const std::string& n) { return plan(c, n); };
                {
                    tovana::FileSystemPosix fileSystem(calls);
                    tovana::test::RecordingSink sink;
                    tovana::RunCounters counters;
                    tovana::Run(FaultOptions(tree.path()), fileSystem, sink, counters);
                    const Renamed renamed = CountRenamed(tree.root());
                    EXPECT_EQ(counters.FileCount + counters.DirCount,
                              renamed.files + renamed.folders);
                    // A link whose target cannot be checked counts as a file, as a dangling one.
                    if (call != Call::FStatAt) {
                        EXPECT_EQ(counters.FileCount, renamed.files);
                        EXPECT_EQ(counters.DirCount, renamed.folders);
                    }
                    int successes = 0;
                    for (const auto& row : sink.rows) {
                        successes += row.kind != tovana::rkFailed;
                    }
                    EXPECT_EQ(successes, counters.FileCount + counters.DirCount);
                    // An entry left under a temporary name is one the run said it left there.
                    for (const auto& entry : fs::recursive_directory_iterator(tree.root())) {
                        const std::string name = entry.path().filename().string();
                        if (name.rfind(".tovana-", 0) == 0 && !fs::is_empty(entry.path())) {
                            bool told = false;
                            for (const auto& t : sink.temporaries) {
                                told |= t.leftThere && t.temporary == name;
                            }
                            EXPECT_TRUE(told) << name;
                        }
                    }
                }
                EXPECT_EQ(tovana::test::Contents(tree.root()), before);
                EXPECT_EQ(calls.openDescriptors, 0);
                ++injected;
            }
        }
    }
    std::printf("faults injected: %d\n", injected);
}

INSTANTIATE_TEST_SUITE_P(FileSystems, FaultInjection,
                         testing::Values(FileSystemMode{"NoReplaceRename", true, true},
                                         FileSystemMode{"NoRenameFlagWithHardLinks", false, true},
                                         FileSystemMode{"NoRenameFlagNoHardLinks", false, false}),
                         [](const testing::TestParamInfo<FileSystemMode>& param) {
                             return param.param.label;
                         });

TEST(HostileTrees, TwoThousandNestedFolders) {
    TempTree tree;
    int fd = ::open(tree.path().c_str(), O_RDONLY | O_DIRECTORY);
    for (int depth = 0; depth < 2000; ++depth) {
        ASSERT_EQ(::mkdirat(fd, "č", 0755), 0);
        const int next = ::openat(fd, "č", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    ::close(::openat(fd, "ř.txt", O_WRONLY | O_CREAT, 0644));
    ::close(fd);
    tovana::RaiseOpenFileLimit();
    tovana::FileSystemPosix fileSystem;
    tovana::test::RecordingSink sink;
    tovana::RunCounters counters;
    RenameOptions o = FaultOptions(tree.path());
    tovana::Run(o, fileSystem, sink, counters);
    EXPECT_EQ(counters.DirCount, 2000);
    EXPECT_EQ(counters.FileCount, 1);
    EXPECT_TRUE(sink.unreadable.empty());
    // Too deep for a path: remove it the way it was made.
    ASSERT_EQ(std::system(("rm -rf '" + tree.path() + "/c'").c_str()), 0);
}

TEST(HostileTrees, NamesThatGrowPastTheLimitFailWhole) {
    TempTree tree;
    std::string grows;
    for (int i = 0; i < 127; ++i) {
        grows += "ɐ";  // two bytes; its capital takes three
    }
    tree.AddFile(grows, "grows");
    tree.AddFile(grows.substr(0, 250) + "č", "fits");
    tovana::FileSystemPosix fileSystem;
    tovana::test::RecordingSink sink;
    tovana::RunCounters counters;
    RenameOptions o;
    o.Path = tree.path();
    o.ToUpperCase = true;
    tovana::Run(o, fileSystem, sink, counters);
    ASSERT_EQ(sink.rows.size(), 2u);
    for (const auto& row : sink.rows) {
        EXPECT_EQ(row.kind, tovana::rkFailed) << row.newName.size();
    }
    EXPECT_EQ((tovana::test::Contents(tree.root())), (std::multiset<std::string>{"fits", "grows"}));
}

TEST(HostileTrees, HundredThousandEntriesInOneFolder) {
    TempTree tree;
    const int dir = ::open(tree.path().c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < 100000; ++i) {
        ::close(::openat(dir, ("č" + std::to_string(i)).c_str(), O_WRONLY | O_CREAT, 0644));
    }
    ::close(dir);
    tovana::FileSystemPosix fileSystem;
    tovana::test::RecordingSink sink;
    tovana::RunCounters counters;
    RenameOptions o;
    o.Path = tree.path();
    tovana::Run(o, fileSystem, sink, counters);
    EXPECT_EQ(counters.FileCount, 100000);
    EXPECT_TRUE(fs::exists(tree.root() / "c99999"));
    EXPECT_FALSE(fs::exists(tree.root() / "č0"));
}

TEST(HostileTrees, LinkLoopsEndAndAreNotWalked) {
    TempTree tree;
    tree.Add("a -> b");
    tree.Add("b -> a");
    tree.Add("šelf -> .");
    tree.Add("sub/ďown -> ..");
    tree.Add("sub/ř.txt");
    tovana::FileSystemPosix fileSystem;
    tovana::test::RecordingSink sink;
    tovana::RunCounters counters;
    tovana::Run(FaultOptions(tree.path()), fileSystem, sink, counters);
    EXPECT_EQ(counters.DirCount, 2);  // the two links to folders, renamed, not entered
    EXPECT_EQ(counters.FileCount, 1);
    EXPECT_EQ(sink.rows.size(), 3u);
}

// Swaps a folder for a link to a folder outside the chosen one at a chosen moment.
class SwappingSyscalls : public tovana::test::FaultySyscalls {
  public:
    std::function<void()> atFirstListingOfSub;
    int OpenAt(int dirFd, const char* path, int flags, mode_t mode) override {
        const int fd = FaultySyscalls::OpenAt(dirFd, path, flags, mode);
        if (std::string(path) == "sub") {
            subFd = fd;
        }
        return fd;
    }
    ssize_t GetDents64(int fd, void* buffer, std::size_t size) override {
        if (fd == subFd && atFirstListingOfSub) {
            atFirstListingOfSub();
            atFirstListingOfSub = nullptr;
        }
        return FaultySyscalls::GetDents64(fd, buffer, size);
    }
    int subFd = -1;
};

TEST(HostileTrees, FolderSwappedForALinkOutsideNeverLeadsThere) {
    TempTree outside;
    outside.Add("č.txt");
    outside.Add("ř/");
    const auto outsideBefore = outside.Snapshot();
    for (bool beforeEntering : {true, false}) {
        SCOPED_TRACE(beforeEntering ? "swapped before the run enters" : "swapped while inside");
        TempTree tree;
        tree.Add("in/sub/č.txt");
        tree.Add("in/sub/ř/");
        const auto swap = [&] {
            fs::rename(tree.root() / "in/sub", tree.root() / "in/moved");
            fs::create_directory_symlink(outside.root(), tree.root() / "in/sub");
        };
        SwappingSyscalls calls;
        if (beforeEntering) {
            calls.fault = [&swap](Call c, const std::string& name) {
                if (c == Call::OpenAt && name == "sub") {
                    swap();
                }
                return 0;
            };
        } else {
            calls.atFirstListingOfSub = swap;
        }
        tovana::FileSystemPosix fileSystem(calls);
        tovana::test::RecordingSink sink;
        tovana::RunCounters counters;
        tovana::Run(FaultOptions(tree.path("in")), fileSystem, sink, counters);
        EXPECT_EQ(outside.Snapshot(), outsideBefore);
        if (!beforeEntering) {
            // The run went on in the folder it had opened, now inside under another name.
            EXPECT_TRUE(fs::exists(tree.root() / "in/moved/c.txt"));
            EXPECT_TRUE(fs::exists(tree.root() / "in/moved/r"));
        }
    }
}

TEST(ConcurrentChange, RunEndsAndLosesNothingWhileTheTreeChanges) {
    TempTree tree;
    for (int i = 0; i < 200; ++i) {
        // Under a chosen folder whose name no letter case changes.
        tree.Add("123/Složka " + std::to_string(i % 10) + "/soubor č." + std::to_string(i) +
                 ".txt");
    }
    const auto originals = tovana::test::Contents(tree.root());
    std::atomic<bool> stop{false};
    std::multiset<std::string> kept;  // contents of the files the other thread left in place
    std::thread other([&] {
        std::mt19937 random(3);
        std::vector<fs::path> mine;
        for (int n = 0; !stop; ++n) {
            const fs::path folder = tree.root() / "123";
            const fs::path file = folder / ("nový " + std::to_string(n) + ".txt");
            std::error_code ignored;
            if (std::ofstream(file) << "new " << n) {
                mine.push_back(file);
                kept.insert("new " + std::to_string(n));
            }
            if (n % 3 == 0 && !mine.empty()) {
                const fs::path victim = mine[random() % mine.size()];
                std::ifstream in(victim);
                std::string content;
                std::getline(in, content);
                if (!content.empty() && ::unlink(victim.c_str()) == 0) {
                    kept.erase(kept.find(content));
                }
            }
            if (n % 5 == 0 && !mine.empty()) {
                const fs::path from = mine[random() % mine.size()];
                const fs::path to = from.parent_path() / ("přejmenován " + std::to_string(n));
                if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) ==
                    0) {
                    mine.push_back(to);
                }
            }
        }
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    int runs = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        tovana::FileSystemPosix fileSystem;
        tovana::test::RecordingSink sink;
        tovana::RunCounters counters;
        RenameOptions o = FaultOptions(tree.path("123"));
        o.ToUpperCase = runs % 2 == 0;
        o.ToLowerCase = !o.ToUpperCase;
        tovana::Run(o, fileSystem, sink, counters);
        ++runs;
    }
    stop = true;
    other.join();
    std::multiset<std::string> expected = originals;
    expected.insert(kept.begin(), kept.end());
    EXPECT_EQ(tovana::test::Contents(tree.root()), expected);
    EXPECT_GT(runs, 1);
}

tovana::RenameOptions SavedOptions(bool first) {
    RenameOptions o;
    o.Path = first ? "/first/Léto" : "/second/Zima";
    o.Masks = first ? "*.JPG" : "*.TXT;*.DOC";
    o.SubDir = first;
    o.RenameDir = !first;
    o.ToUpperCase = first;
    o.ToLowerCase = !first;
    return o;
}

TEST(SettingsUnderFailure, SavesKilledAtRandomLeaveOldOrNewWhole) {
    TempTree tree;
    const std::string path = tree.path("Korvel/Tovana.reg");
    {
        tovana::FileSettingsStore first(path);
        tovana::SaveSettings(first, tovana::OptionsControls(SavedOptions(true)));
    }
    std::mt19937 random(11);
    int kills = 0;
    for (int round = 0; round < 60; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            tovana::FileSettingsStore store(path);
            for (unsigned i = 0;; ++i) {
                tovana::SaveSettings(store, tovana::OptionsControls(SavedOptions(i % 2 == 0)));
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(2000 + random() % 20000));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        ++kills;
        tovana::FileSettingsStore store(path);
        tovana::OptionsControls loaded;
        tovana::LoadSettings(store, loaded);
        EXPECT_TRUE(loaded.options() == SavedOptions(true) ||
                    loaded.options() == SavedOptions(false))
            << "round " << round << ": '" << loaded.options().Path << "'";
    }
    std::printf("saves killed: %d\n", kills);
}

}  // namespace
