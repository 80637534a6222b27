// Journals on Linux: runs killed at every point of their work are always fully undoable; the
// journal's place in the state folder. Every test of this program keeps its journals in a
// folder of its own (tovana-cli included, through the environment).
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

#include "journal/Journal.h"
#include "journal/Undo.h"
#include "rename/FileSystemPosix.h"
#include "rename/Platform.h"
#include "support/CaseLabel.h"
#include "support/FaultySyscalls.h"
#include "support/RecordingSink.h"
#include "support/RunProgram.h"
#include "support/TempTree.h"

namespace {

using tovana::JournalStore;
using Tree = std::map<std::string, std::string>;

// Journals written by tests, tovana-cli's included, never reach the user's state folder.
class StateHome : public testing::Environment {
  public:
    void SetUp() override {
        folder_ = std::make_unique<tovana::test::TempTree>();
        ::setenv("XDG_STATE_HOME", folder_->path().c_str(), 1);
    }
    void TearDown() override { folder_.reset(); }

  private:
    std::unique_ptr<tovana::test::TempTree> folder_;
};
testing::Environment* const stateHome = testing::AddGlobalTestEnvironment(new StateHome);

TEST(JournalPlace, StateFolderFromTheEnvironmentOrHome) {
    const std::string saved = std::getenv("XDG_STATE_HOME");
    ::setenv("XDG_STATE_HOME", "/var/state", 1);
    EXPECT_EQ(JournalStore::ForCurrentUser()->folder(), "/var/state/Korvel/Tovana/journal");
    ::setenv("XDG_STATE_HOME", "relative",
             1);  // not absolute: ignored, as XDG base directories ask
    const std::string home = std::getenv("HOME");
    EXPECT_EQ(JournalStore::ForCurrentUser()->folder(),
              home + "/.local/state/Korvel/Tovana/journal");
    ::setenv("XDG_STATE_HOME", saved.c_str(), 1);
}

// Names holding every byte a Linux name can hold, and invalid UTF-8, go into the journal and
// come back out of it exactly.
TEST(JournalNames, EveryByteAndInvalidUtf8ComeBackThroughTheJournal) {
    tovana::test::TempTree tree;
    tovana::test::TempTree journals;
    for (int byte = 1; byte <= 0xFF; ++byte) {
        if (byte != '/') {
            tree.AddFile("Léto/č" + std::string(1, static_cast<char>(byte)) + "ř.txt",
                         std::to_string(byte));
        }
    }
    for (const char* invalid : {"\xC3\x28 č", "\xFF\xFE ž", "\xE2\x82 ř", "\xED\xA0\x80 ů"}) {
        tree.AddFile(std::string("Léto/") + invalid, invalid);
    }
    const Tree before = tree.Snapshot();
    tovana::RenameOptions options;
    options.Path = tree.path("Léto");
    options.RenameDir = true;
    // The bytes themselves go through, not a legacy reading of them (which would merge many
    // names into one and leave them unrenamed).
    options.Legacy = tovana::LegacyCodePage::None;
    JournalStore store(journals.path());
    const auto fileSystem = tovana::MakeFileSystem();
    tovana::test::RecordingSink sink;
    tovana::RunCounters counters;
    tovana::RunJournal journal(store, sink, {"test", options, {}});
    tovana::Run(options, *fileSystem, journal, counters);
    journal.Finish(counters);
    ASSERT_GT(counters.FileCount, 200);
    ASSERT_NE(tree.Snapshot(), before);

    const tovana::UndoOutcome undo =
        tovana::UndoRun(store, "", *fileSystem, sink, counters, "test", false);
    EXPECT_EQ(undo.Problem, tovana::UndoProblem::None) << undo.Detail;
    EXPECT_EQ(undo.Failed, 0);
    EXPECT_EQ(tree.Snapshot(), before);
}

// ---- the undo keeps to the run's folder ----

// A journaled run over `folder` (subfolders, folders renamed too); returns the journal.
std::string RunOver(const std::string& folder, JournalStore& store) {
    tovana::RenameOptions options;
    options.Path = folder;
    options.SubDir = options.RenameDir = true;
    const auto fileSystem = tovana::MakeFileSystem();
    tovana::test::RecordingSink sink;
    tovana::RunCounters counters;
    tovana::RunJournal journal(store, sink, {"test", options, {}});
    tovana::Run(options, *fileSystem, journal, counters);
    journal.Finish(counters);
    return journal.path();
}

tovana::UndoOutcome UndoOf(const std::string& journal, JournalStore& store,
                           tovana::test::RecordingSink& sink) {
    const auto fileSystem = tovana::MakeFileSystem();
    tovana::RunCounters counters;
    return tovana::UndoRun(store, journal, *fileSystem, sink, counters, "test", false);
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A renamed folder swapped for a link to a folder outside: the undo does not go through it.
TEST(UndoConfined, NeverGoesThroughALinkPutInPlaceOfAFolder) {
    tovana::test::TempTree tree;
    tovana::test::TempTree outside;
    tovana::test::TempTree journals;
    JournalStore store(journals.path());
    tree.Add("Léto/Ěčko/řeka.txt");
    outside.AddFile("reka.txt", "not the run's");
    const std::string journal = RunOver(tree.path("Léto"), store);
    ASSERT_EQ(tree.Snapshot().count("Leto/Ecko/reka.txt"), 1u);
    std::filesystem::rename(tree.root() / "Leto/Ecko", tree.root() / "moved");
    std::filesystem::create_directory_symlink(outside.root(), tree.root() / "Leto/Ecko");

    tovana::test::RecordingSink sink;
    const tovana::UndoOutcome undo = UndoOf(journal, store, sink);
    EXPECT_GT(undo.Failed, 0);
    EXPECT_EQ(outside.Snapshot(), (Tree{{"reka.txt", "not the run's"}}));
    EXPECT_EQ(tree.Snapshot().at("moved/reka.txt"), "Léto/Ěčko/řeka.txt");
}

struct EditedLine {
    const char* label;
    const char* path;     // the path the edited line names, below the test's root
    const char* newName;  // the name it says the entry got
};

class UndoRefuses : public testing::TestWithParam<EditedLine> {};

// The journal of RunOver(Léto) over Léto/č.txt and Léto/ž.txt as the first version of the
// format wrote it: each intent with its entry's whole path.
std::string FirstVersionJournal(const std::string& folder) {
    return "tovana-journal\t1\nplatform\tposix\nkind\trun\nfolder\t" + folder +
           "\nintent\t1\tfile\t" + folder + "/č.txt\tc.txt\nintent\t2\tfile\t" + folder +
           "/ž.txt\tz.txt\ndone\t1\ndone\t2\nintent\t3\tdir\t" + folder +
           "\tLeto\ndone\t3\nend\t2\t1\t0\n";
}

// How the edited line is written.
enum class Edit {
    FirstVersion,  // a journal of the first version, its whole path in the intent
    Folder,        // the path's folder in an `at` record of its own, its name in the intent
    Name,          // the intent's name holds the path below the run's folder
};

// A journal line edited to name a path outside the run's folder is reported failed and never
// acted on; the rest of the run is put back.
TEST_P(UndoRefuses, ALineOutsideTheRunsFolder) {
    for (const Edit edit : {Edit::FirstVersion, Edit::Folder, Edit::Name}) {
        const std::string path = GetParam().path;
        if (edit == Edit::Name && !path.starts_with("Léto/")) {
            continue;
        }
        SCOPED_TRACE(static_cast<int>(edit));
        tovana::test::TempTree tree;
        tovana::test::TempTree journals;
        JournalStore store(journals.path());
        tree.Add("Léto/č.txt");
        tree.Add("Léto/ž.txt");
        tree.AddFile("jinde/c.txt", "victim");
        tree.AddFile("Léto2/c.txt", "victim");
        const std::string journal = RunOver(tree.path("Léto"), store);
        std::string text = ReadText(journal);
        if (edit == Edit::FirstVersion) {
            text = FirstVersionJournal(tree.path("Léto"));
            const std::string line = "\t" + tree.path("Léto/č.txt") + "\tc.txt\n";
            text.replace(text.find(line), line.size(),
                         "\t" + tree.path(path) + "\t" + GetParam().newName + "\n");
        } else {
            const std::string tail = "\tč.txt\tc.txt\n";
            const std::size_t at = text.find(tail);
            ASSERT_NE(at, std::string::npos) << text;
            const std::size_t line = text.rfind('\n', at) + 1;
            const std::string intent = text.substr(line, at - line);  // intent ID file
            const std::string folder = tree.path("Léto") + "/";
            const std::string whole = tree.path(path);
            const std::size_t cut = edit == Edit::Folder ? whole.rfind('/') + 1 : folder.size();
            text.replace(line, at + tail.size() - line,
                         "at\t0\t" + whole.substr(0, cut) + "\n" + intent + "\t" +
                             whole.substr(cut) + "\t" + GetParam().newName + "\nat\t0\t" + folder +
                             "\n");
        }
        std::ofstream(journal, std::ios::trunc) << text;

        tovana::test::RecordingSink sink;
        const tovana::UndoOutcome undo = UndoOf(journal, store, sink);
        EXPECT_EQ(undo.Problem, tovana::UndoProblem::None) << undo.Detail;
        EXPECT_EQ(undo.Failed, 1) << text;
        const Tree after = tree.Snapshot();
        EXPECT_EQ(after.at("jinde/c.txt"), "victim");
        EXPECT_EQ(after.at("Léto2/c.txt"), "victim");
        EXPECT_EQ(after.at("Léto/ž.txt"), "Léto/ž.txt") << "the rest is put back";
        EXPECT_EQ(after.count("Léto/č.txt"), 0u);
        EXPECT_EQ(after.size(), 7u);
    }
}

// A journal of the first version, every intent with its whole path, is still undone whole and
// shown in the history.
TEST(FirstVersionJournal, IsUndoneAndShownInTheHistory) {
    tovana::test::TempTree tree;
    tovana::test::TempTree journals;
    JournalStore store(journals.path());
    tree.Add("Léto/č.txt");
    tree.Add("Léto/ž.txt");
    const Tree before = tree.Snapshot();
    const std::string journal = RunOver(tree.path("Léto"), store);
    ASSERT_EQ(tree.Snapshot().count("Leto/z.txt"), 1u);
    std::ofstream(journal, std::ios::trunc) << FirstVersionJournal(tree.path("Léto"));

    std::error_code error;
    const std::vector<tovana::JournalSummary> history = tovana::History(store, error);
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].Problem, tovana::JournalProblem::None);
    EXPECT_EQ(history[0].Head.Folder, tree.path("Léto"));
    EXPECT_EQ(history[0].Head.Files, 2);
    EXPECT_EQ(history[0].Head.Dirs, 1);
    tovana::test::RecordingSink sink;
    const tovana::UndoOutcome undo = UndoOf(journal, store, sink);
    EXPECT_EQ(undo.Problem, tovana::UndoProblem::None) << undo.Detail;
    EXPECT_EQ(undo.Failed, 0);
    EXPECT_EQ(tree.Snapshot(), before);
}

INSTANTIATE_TEST_SUITE_P(
    EditedJournal, UndoRefuses,
    testing::Values(EditedLine{"Elsewhere", "jinde/č.txt", "c.txt"},
                    EditedLine{"ThroughDotDot", "Léto/../jinde/č.txt", "c.txt"},
                    EditedLine{"ThroughDot", "Léto/./../jinde/č.txt", "c.txt"},
                    EditedLine{"FolderNameAsPrefix", "Léto2/č.txt", "c.txt"},
                    EditedLine{"NewNameWithDelimiter", "Léto/č.txt", "../jinde/c.txt"},
                    EditedLine{"NewNameDotDot", "Léto/č.txt", ".."}),
    tovana::test::CaseLabel());

// "Léto" below `root`, `levels` folders named `level` below it, each level's folder holding
// "č.txt" with its depth, made through open folders (the paths may be longer than PATH_MAX).
void MakeDeepTree(const std::string& root, const std::string& level, int levels) {
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::mkdirat(fd, "Léto", 0755), 0);
    for (int depth = 0; depth <= levels; ++depth) {
        const int next = ::openat(fd, depth == 0 ? "Léto" : level.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
        ASSERT_GE(fd, 0);
        const int file = ::openat(fd, "č.txt", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_EQ(::write(file, &depth, sizeof depth), static_cast<ssize_t>(sizeof depth));
        ::close(file);
        if (depth < levels) {
            ASSERT_EQ(::mkdirat(fd, level.c_str(), 0755), 0);
        }
    }
    ::close(fd);
}

// Every level of MakeDeepTree's tree is back under its old name with its file; the tree is
// then removed (std::filesystem cannot reach so deep).
void ExpectDeepTreeBack(const std::string& root, const std::string& level, int levels) {
    int fd = ::open((root + "/Léto").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    for (int depth = 0; depth <= levels && fd >= 0; ++depth) {
        const int file = ::openat(fd, "č.txt", O_RDONLY | O_CLOEXEC);
        int content = -1;
        EXPECT_EQ(::read(file, &content, sizeof content), static_cast<ssize_t>(sizeof content));
        EXPECT_EQ(content, depth);
        ::close(file);
        const int next = depth < levels ? ::openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY) : -1;
        EXPECT_TRUE(depth == levels || next >= 0) << "level " << depth;
        ::close(fd);
        fd = next;
    }
    ASSERT_EQ(std::system(("rm -rf '" + root + "'/*").c_str()), 0);
}

// A tree whose paths are longer than PATH_MAX: the run renames it through open folders, and
// so does its undo.
TEST(UndoConfined, PutsBackEntriesDeeperThanAPathCanName) {
    tovana::test::TempTree tree;
    tovana::test::TempTree journals;
    JournalStore store(journals.path());
    const std::string level = "Složka " + std::string(200, 'a');
    constexpr int kLevels = 30;  // about 6,200 bytes of path
    ASSERT_NO_FATAL_FAILURE(MakeDeepTree(tree.path(), level, kLevels));
    const std::string journal = RunOver(tree.path("Léto"), store);
    ASSERT_FALSE(std::filesystem::exists(tree.root() / "Léto"));
    // Each level's path is written once, not with every entry below it: the journal grows with
    // the levels, not with their square (whole paths in each intent come to over 190 kB).
    EXPECT_LT(std::filesystem::file_size(journal), 6 * (kLevels + 1) * level.size());

    tovana::test::RecordingSink sink;
    const tovana::UndoOutcome undo = UndoOf(journal, store, sink);
    EXPECT_EQ(undo.Failed, 0);
    // Every level is back under its old name with its file.
    ExpectDeepTreeBack(tree.path(), level, kLevels);
}

// A tree hundreds of levels deep with a file in each folder. Its journal is read into one name
// per folder rather than a whole path per entry (which comes to megabytes here, gigabytes at
// 10,000 levels), the undo opens each folder once on its way down rather than again from the
// top for each batch, and its rows still carry whole paths.
TEST(UndoConfined, DeepTreeIsReadAndPutBackOneFolderAtATime) {
    tovana::test::TempTree tree;
    tovana::test::TempTree journals;
    JournalStore store(journals.path());
    const std::string level = "Úroveň " + std::string(91, 'x');  // 100 bytes
    constexpr int kLevels = 300;
    std::string deepest = tree.path("Léto") + "/";
    for (int depth = 0; depth < kLevels; ++depth) {
        deepest += level + "/";
    }
    ASSERT_NO_FATAL_FAILURE(MakeDeepTree(tree.path(), level, kLevels));
    const std::string journal = RunOver(tree.path("Léto"), store);

    tovana::Journal read;
    std::string detail;
    ASSERT_EQ(tovana::ReadJournal(journal, read, detail), tovana::JournalProblem::None) << detail;
    ASSERT_EQ(read.Entries.size(), 2u * kLevels + 2);  // each level's folder and file, and Léto
    std::size_t held = 0;
    for (const tovana::JournalEntry& entry : read.Entries) {
        held += entry.Path.Name.size();
    }
    for (std::size_t folder = 0; folder < read.Folders->size(); ++folder) {
        held += (*read.Folders)[folder].Name.size();
    }
    EXPECT_LT(held, 3 * (kLevels + 1) * level.size());
    EXPECT_EQ(std::count_if(read.Entries.begin(), read.Entries.end(),
                            [&](const auto& entry) { return entry.Path == deepest + "č.txt"; }),
              1);

    tovana::test::FaultySyscalls calls;
    tovana::FileSystemPosix fileSystem(calls);
    tovana::test::RecordingSink sink;
    tovana::RunCounters counters;
    const tovana::UndoOutcome undo =
        tovana::UndoRun(store, journal, fileSystem, sink, counters, "test", false);
    EXPECT_EQ(undo.Failed, 0);
    EXPECT_EQ(counters.FileCount, kLevels + 1);
    EXPECT_EQ(counters.DirCount, kLevels + 1);
    EXPECT_LE(calls.made[tovana::test::Call::OpenAt], kLevels + 10) << "each folder opened once";
    ASSERT_FALSE(sink.rows.empty());
    EXPECT_EQ(sink.rows.back().path, deepest + "c.txt");  // Léto and the levels are back by then

    ExpectDeepTreeBack(tree.path(), level, kLevels);
}

struct ChosenPath {
    const char* label;
    const char* workingFolder;  // below the test's root
    const char* path;           // the chosen folder as given
};

class JournaledFolder : public testing::TestWithParam<ChosenPath> {};

// The journal names the chosen folder by its real path as the run started, so the undo finds
// the run's entries even after the run renamed a folder the given path went through.
TEST_P(JournaledFolder, IsTheRealPathAndTheUndoPutsBackWhole) {
    tovana::test::TempTree tree;
    tovana::test::TempTree journals;
    JournalStore store(journals.path());
    tree.Add("Fotky/Léto/Ěčko/řeka.txt");
    tree.Add("Fotky/Léto/ž.txt");
    tree.Add("Fotky/čaj.txt");
    tree.Add("Odkaz č -> Fotky");
    const Tree before = tree.Snapshot();
    const auto saved = std::filesystem::current_path();
    std::filesystem::current_path(tree.root() / GetParam().workingFolder);
    const std::string journal = RunOver(GetParam().path, store);
    std::filesystem::current_path(saved);
    ASSERT_EQ(tree.Snapshot().count("Fotky/Leto/z.txt"), 1u) << "the run renamed Léto";

    tovana::Journal read;
    std::string detail;
    ASSERT_EQ(tovana::ReadJournal(journal, read, detail), tovana::JournalProblem::None) << detail;
    EXPECT_EQ(read.Folder, tree.path("Fotky"));
    tovana::test::RecordingSink sink;
    const tovana::UndoOutcome undo = UndoOf(journal, store, sink);
    EXPECT_EQ(undo.Failed, 0);
    EXPECT_EQ(tree.Snapshot(), before);
}

INSTANTIATE_TEST_SUITE_P(Given, JournaledFolder,
                         testing::Values(ChosenPath{"ParentOfTheWorkingFolder", "Fotky/Léto", ".."},
                                         ChosenPath{"DotInside", "Fotky/Léto", "../."},
                                         ChosenPath{"ThroughALink", "", "Odkaz č/Léto/.."}),
                         tovana::test::CaseLabel());

// The journal's disk fills up half way: the run stops before any rename its journal cannot
// hold, the journal ends saying it is incomplete, and --undo puts back every rename, says the
// journal is incomplete and exits 1.
TEST(FullDisk, TheRunStopsAndTheUndoPutsBackAllAndSaysTheJournalIsIncomplete) {
    tovana::test::TempTree state;
    if (std::system(
            ("mount -t tmpfs -o size=64k tmpfs '" + state.path() + "' 2>/dev/null").c_str()) != 0) {
        GTEST_SKIP() << "a small tmpfs cannot be mounted here (not root)";
    }
    tovana::test::TempTree tree;
    for (int folder = 0; folder < 8; ++folder) {
        for (int file = 0; file < 100; ++file) {
            tree.Add("Léto/Složka č. " + std::to_string(folder) + "/Žluťoučký kůň úpěl " +
                     std::to_string(file) + ".txt");
        }
    }
    const Tree before = tree.Snapshot();
    const std::string saved = std::getenv("XDG_STATE_HOME");
    ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);
    const auto cli = [](const std::vector<std::string>& args) {
        return tovana::test::RunProgram(TOVANA_CLI_PATH, args);
    };

    const tovana::test::ProgramResult run = cli({"-s", "-d", tree.path("Léto")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("the run was stopped"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("Přejmenování přerušeno."), std::string::npos);
    EXPECT_NE(tree.Snapshot(), before) << "the journal took some renames before it was full";
    const tovana::test::ProgramResult history = cli({"--history"});
    EXPECT_NE(history.out.find("\trun\tjournal-incomplete\t"), std::string::npos) << history.out;

    const tovana::test::ProgramResult undo = cli({"--undo"});
    EXPECT_EQ(undo.status, 1);
    EXPECT_NE(undo.err.find("is incomplete: writing it failed (No space left on device)"),
              std::string::npos)
        << undo.err;
    EXPECT_EQ(tree.Snapshot(), before);
    ::setenv("XDG_STATE_HOME", saved.c_str(), 1);
    EXPECT_EQ(std::system(("umount '" + state.path() + "'").c_str()), 0);
}

// Counts the work of a run that can be cut short: each rename and each journal write, before
// and after it happens. The process kills itself with SIGKILL at point `killAt`.
class KillSwitch {
  public:
    explicit KillSwitch(int killAt) : killAt_(killAt) {}
    void Point() {
        if (++points_ == killAt_) {
            ::raise(SIGKILL);
        }
    }

  private:
    int killAt_;
    int points_ = 0;
};

class KillingFileSystem : public tovana::FileSystem {
  public:
    KillingFileSystem(tovana::FileSystem& real, KillSwitch& kill) : real_(real), kill_(kill) {}
    std::unique_ptr<tovana::Folder> OpenFolder(const std::string& path,
                                               std::error_code& error) override {
        return real_.OpenFolder(path, error);
    }
    std::unique_ptr<tovana::Folder> OpenSubfolder(tovana::Folder& parent, const std::string& name,
                                                  std::error_code& error) override {
        return real_.OpenSubfolder(parent, name, error);
    }
    std::unique_ptr<tovana::Folder> OpenChosenFolder(tovana::Folder& parent,
                                                     const std::string& name,
                                                     std::error_code& error) override {
        return real_.OpenChosenFolder(parent, name, error);
    }
    std::error_code ReadEntries(tovana::Folder& folder, tovana::EntryList& entries) override {
        return real_.ReadEntries(folder, entries);
    }
    tovana::EntryKind KindOfLink(tovana::Folder& folder, const std::string& name) override {
        return real_.KindOfLink(folder, name);
    }
    std::error_code Identify(tovana::Folder& folder, const std::string& name,
                             tovana::EntryId& id) override {
        return real_.Identify(folder, name, id);
    }
    std::error_code Rename(tovana::Folder& folder, const std::string& from,
                           const std::string& to) override {
        kill_.Point();
        const std::error_code error = real_.Rename(folder, from, to);
        kill_.Point();
        return error;
    }

  private:
    tovana::FileSystem& real_;
    KillSwitch& kill_;
};

class KillingJournalFile : public tovana::JournalFile {
  public:
    KillingJournalFile(std::unique_ptr<tovana::JournalFile> real, KillSwitch& kill)
        : real_(std::move(real)), kill_(kill) {}
    std::error_code Append(std::string_view text) override {
        kill_.Point();
        // Half a write, as a kill in the middle of a long one could leave.
        if (text.size() > 1) {
            real_->Append(text.substr(0, text.size() / 2));
            kill_.Point();
            text.remove_prefix(text.size() / 2);
        }
        const std::error_code error = real_->Append(text);
        kill_.Point();
        return error;
    }
    std::error_code Sync() override { return real_->Sync(); }

  private:
    std::unique_ptr<tovana::JournalFile> real_;
    KillSwitch& kill_;
};

class KillingStore : public JournalStore {
  public:
    KillingStore(const std::string& folder, KillSwitch& kill) : JournalStore(folder), kill_(kill) {}

  protected:
    std::unique_ptr<tovana::JournalFile> NewFile(const std::string& path,
                                                 std::error_code& error) override {
        auto file = JournalStore::NewFile(path, error);
        return file ? std::make_unique<KillingJournalFile>(std::move(file), kill_) : nullptr;
    }

  private:
    KillSwitch& kill_;
};

void BuildTree(tovana::test::TempTree& tree) {
    for (const char* entry :
         {"Léto/Žluťoučký kůň.txt", "Léto/Ěčko/řeka 1.jpg", "Léto/Ěčko/Č/ů ů.txt",
          "Léto/Ěčko/Č/C.txt", "Léto/Ěčko/Č/Č.txt", "Léto/Ěčko/Č/Ď/ď.txt", "Léto/prázdná/",
          "Léto/a b.txt", "Léto/a_b.txt", "Léto/Ž/ž 1.txt", "Léto/Ž/ž 2.txt", "Léto/Ž/ž 3.txt"}) {
        tree.Add(entry);
    }
}

// Runs in a child process that kills itself at point `killAt`; true when it was killed.
bool RunKilledAt(int killAt, const tovana::RenameOptions& options, const std::string& journals) {
    const pid_t child = ::fork();
    if (child == 0) {
        KillSwitch kill(killAt);
        KillingStore store(journals, kill);
        const auto platform = tovana::MakeFileSystem();
        KillingFileSystem fileSystem(*platform, kill);
        tovana::test::RecordingSink sink;
        tovana::RunCounters counters;
        tovana::RunJournal journal(store, sink, {"test", options, {}});
        tovana::Run(options, fileSystem, journal, counters);
        journal.Finish(counters);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

struct TemporaryCase {
    const char* label;
    int failing;              // the renameat2 call that fails (0 for none)
    bool outOfTemporaryFail;  // every rename out of the temporary name fails
    bool leftThere;
};

class TemporaryName : public testing::TestWithParam<TemporaryCase> {};

// A change of letter case whose second step fails: the temporary name is in the journal before
// the entry moves there, and the undo finds the entry even where it had to stay there.
TEST_P(TemporaryName, IsJournaledAndTheUndoFindsTheEntry) {
    tovana::test::TempTree tree;
    tovana::test::TempTree journals;
    tree.Add("abc.txt");
    JournalStore store(journals.path());
    tovana::test::CaseInsensitiveSyscalls calls;
    int renames = 0;
    calls.fault = [&renames](tovana::test::Call call, const std::string& name) {
        if (call != tovana::test::Call::RenameAt2) {
            return 0;
        }
        const bool fails = ++renames == GetParam().failing ||
                           (GetParam().outOfTemporaryFail && name.starts_with(".tovana-"));
        return fails ? EIO : 0;
    };
    tovana::RenameOptions options;
    options.Path = tree.path();
    options.ToUpperCase = true;
    tovana::FileSystemPosix fileSystem(calls);
    tovana::test::RecordingSink sink;
    tovana::RunCounters counters;
    tovana::RunJournal journal(store, sink, {"test", options, {}});
    tovana::Run(options, fileSystem, journal, counters);
    journal.Finish(counters);

    ASSERT_EQ(sink.rows.size(), 1u);
    EXPECT_EQ(sink.rows[0].kind, tovana::rkFailed);
    ASSERT_FALSE(sink.temporaries.empty());
    const std::string temporary = sink.temporaries[0].temporary;
    std::ifstream in(journal.path());
    const std::string text(std::istreambuf_iterator<char>(in), {});
    EXPECT_NE(text.find("temporary\tabc.txt\t" + temporary + "\n"), std::string::npos) << text;
    tovana::Journal read;
    std::string detail;
    ASSERT_EQ(tovana::ReadJournal(journal.path(), read, detail), tovana::JournalProblem::None)
        << detail;
    ASSERT_EQ(read.Entries.size(), 1u);
    EXPECT_EQ(read.Entries[0].Path, tree.path("abc.txt"));
    EXPECT_EQ(read.Entries[0].Temporary, temporary);
    const Tree afterRun =
        GetParam().leftThere ? Tree{{temporary, "abc.txt"}} : Tree{{"abc.txt", "abc.txt"}};
    EXPECT_EQ(tree.Snapshot(), afterRun);

    tovana::test::RecordingSink undoSink;
    tovana::RunCounters undoCounters;
    const auto real = tovana::MakeFileSystem();
    const tovana::UndoOutcome undo =
        tovana::UndoRun(store, journal.path(), *real, undoSink, undoCounters, "test", false);
    EXPECT_EQ(undo.Failed, 0);
    EXPECT_EQ(undoCounters.FileCount, GetParam().leftThere ? 1 : 0);
    EXPECT_EQ(tree.Snapshot(), (Tree{{"abc.txt", "abc.txt"}}));
}

INSTANTIATE_TEST_SUITE_P(SecondStepFails, TemporaryName,
                         testing::Values(TemporaryCase{"PutBack", 2, false, false},
                                         TemporaryCase{"LeftThere", 0, true, true}),
                         tovana::test::CaseLabel());

TEST(KilledRun, KilledAtAnyPointIsAlwaysFullyUndoable) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int killed = 0;
    for (int killAt = 1; killAt < 500 && std::chrono::steady_clock::now() < deadline; ++killAt) {
        tovana::test::TempTree tree;
        tovana::test::TempTree journals;
        BuildTree(tree);
        const Tree before = tree.Snapshot();
        tovana::RenameOptions options;
        options.Path = tree.path("Léto");
        options.SubDir = options.RenameDir = options.ReplaceSpace = true;
        if (!RunKilledAt(killAt, options, journals.path())) {
            EXPECT_GT(killed, 40) << "the run should have had that many points to kill it at";
            std::printf("killed at %d points, each undone\n", killed);
            return;
        }
        ++killed;
        JournalStore store(journals.path());
        const auto fileSystem = tovana::MakeFileSystem();
        tovana::test::RecordingSink sink;
        tovana::RunCounters counters;
        const tovana::UndoOutcome undo =
            tovana::UndoRun(store, "", *fileSystem, sink, counters, "test", false);
        // Killed before its journal held anything: then nothing had been renamed either.
        if (undo.Problem == tovana::UndoProblem::NothingToUndo) {
            EXPECT_EQ(tree.Snapshot(), before) << "killed at " << killAt;
            continue;
        }
        ASSERT_EQ(undo.Problem, tovana::UndoProblem::None)
            << "killed at " << killAt << ": " << undo.Detail;
        EXPECT_EQ(undo.Failed, 0) << "killed at " << killAt;
        ASSERT_EQ(tree.Snapshot(), before) << "killed at " << killAt;
    }
    ADD_FAILURE() << "the run never finished within the points or the time allowed";
}

// Where renameat2 takes no flag (bindfs and other FUSE mounts), a file is renamed by a hard
// link and the removal of its old name, and the flag is found missing by a probe folder of the
// run's own. The run is killed between those two steps, and in the middle of the probe: the
// undo leaves each file under its old name alone, and no probe folder stays behind.
struct KillBetween {
    const char* label;
    int killAt;        // the system call, counted among those of its kind, that kills
    bool duringProbe;  // at the probe's rename rather than at a removal after a link
};

class KilledBetweenSteps : public testing::TestWithParam<KillBetween> {
  protected:
    void SetUp() override {
        for (const char* entry : {"Léto/č 1.txt", "Léto/ř 2.txt", "Léto/Ž/ž 3.txt", "Léto/x.txt"}) {
            tree.Add(entry);
        }
        options.Path = tree.path("Léto");
        options.SubDir = options.RenameDir = options.ReplaceSpace = true;
        before = tree.Snapshot();
    }

    // Runs in a child process that kills itself at the chosen step; true when it was killed.
    bool RunKilled() {
        const pid_t child = ::fork();
        if (child == 0) {
            tovana::test::FaultySyscalls calls;
            calls.renameFlags = false;
            int links = 0;
            int probes = 0;
            calls.fault = [&](tovana::test::Call call, const std::string& name) {
                const KillBetween& at = GetParam();
                if (call == tovana::test::Call::LinkAt) {
                    ++links;
                }
                const bool inProbe = call == tovana::test::Call::RenameAt2 &&
                                     name.starts_with(".tovana-") && ++probes == at.killAt;
                const bool afterLink = call == tovana::test::Call::UnlinkAt &&
                                       !name.starts_with(".tovana-") && links == at.killAt;
                if (at.duringProbe ? inProbe : afterLink) {
                    ::raise(SIGKILL);
                }
                return 0;
            };
            JournalStore store(journals.path());
            tovana::FileSystemPosix fileSystem(calls);
            tovana::test::RecordingSink sink;
            tovana::RunCounters counters;
            tovana::RunJournal journal(store, sink, {"test", options, {}});
            tovana::Run(options, fileSystem, journal, counters);
            journal.Finish(counters);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }

    tovana::test::TempTree tree;
    tovana::test::TempTree journals;
    tovana::RenameOptions options;
    Tree before;
};

TEST_P(KilledBetweenSteps, TheUndoLeavesEveryFileUnderItsOldNameAlone) {
    ASSERT_TRUE(RunKilled());
    ASSERT_NE(tree.Snapshot(), before);  // something is left to put right
    JournalStore store(journals.path());
    const auto fileSystem = tovana::MakeFileSystem();
    tovana::test::RecordingSink sink;
    tovana::RunCounters counters;
    const tovana::UndoOutcome undo =
        tovana::UndoRun(store, "", *fileSystem, sink, counters, "test", false);
    if (!GetParam().duringProbe) {
        ASSERT_EQ(undo.Problem, tovana::UndoProblem::None) << undo.Detail;
        EXPECT_EQ(undo.Failed, 0);
    }
    EXPECT_EQ(tree.Snapshot(), before);
}

INSTANTIATE_TEST_SUITE_P(LinkThenUnlink, KilledBetweenSteps,
                         testing::Values(KillBetween{"AfterTheFirstLink", 1, false},
                                         KillBetween{"AfterTheThirdLink", 3, false},
                                         KillBetween{"InTheProbe", 1, true}),
                         tovana::test::CaseLabel());

// Undoes the newest run in a child process that kills itself at point `killAt` of the undo;
// true when it was killed.
bool UndoKilledAt(int killAt, const std::string& journals) {
    const pid_t child = ::fork();
    if (child == 0) {
        KillSwitch kill(killAt);
        KillingStore store(journals, kill);
        const auto platform = tovana::MakeFileSystem();
        KillingFileSystem fileSystem(*platform, kill);
        tovana::test::RecordingSink sink;
        tovana::RunCounters counters;
        tovana::UndoRun(store, "", fileSystem, sink, counters, "test", false);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

// An undo killed at any point of its work is continued by the next undo, which puts the run
// back whole: no failure for what is back already, and the older run is left alone.
TEST(KilledUndo, KilledAtAnyPointIsContinuedByTheNextUndo) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int killed = 0;
    for (int killAt = 1; killAt < 500 && std::chrono::steady_clock::now() < deadline; ++killAt) {
        tovana::test::TempTree tree;
        tovana::test::TempTree older;
        tovana::test::TempTree journals;
        BuildTree(tree);
        older.Add("Škola.txt");
        const Tree before = tree.Snapshot();
        JournalStore store(journals.path());
        RunOver(older.path(), store);
        tovana::RenameOptions options;
        options.Path = tree.path("Léto");
        options.SubDir = options.RenameDir = options.ReplaceSpace = true;
        const auto fileSystem = tovana::MakeFileSystem();
        {
            tovana::test::RecordingSink sink;
            tovana::RunCounters counters;
            tovana::RunJournal journal(store, sink, {"test", options, {}});
            tovana::Run(options, *fileSystem, journal, counters);
            journal.Finish(counters);
        }
        if (!UndoKilledAt(killAt, journals.path())) {
            EXPECT_GT(killed, 30) << "the undo should have had that many points to kill it at";
            std::printf("undo killed at %d points, each continued to the whole tree\n", killed);
            return;
        }
        ++killed;
        // Killed after its last record, the undo was whole: the next one would take the
        // older run.
        std::error_code error;
        const auto history = tovana::History(store, error);
        const tovana::JournalSummary* next = tovana::NewestUndoable(history);
        ASSERT_NE(next, nullptr);
        if (next->Head.Folder != older.path()) {
            tovana::test::RecordingSink sink;
            tovana::RunCounters counters;
            const tovana::UndoOutcome undo =
                tovana::UndoRun(store, next->Path, *fileSystem, sink, counters, "test", false);
            ASSERT_EQ(undo.Problem, tovana::UndoProblem::None) << "killed at " << killAt;
            EXPECT_EQ(undo.Failed, 0) << "killed at " << killAt;
        }
        ASSERT_EQ(tree.Snapshot(), before) << "killed at " << killAt;
        EXPECT_EQ(older.Snapshot(), (Tree{{"Skola.txt", "Škola.txt"}})) << "killed at " << killAt;
    }
    ADD_FAILURE() << "the undo never finished within the points or the time allowed";
}

// The real program, killed from outside at random moments of a bigger run, then put back by
// the real program.
pid_t StartCli(const std::vector<std::string>& args) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv{const_cast<char*>(TOVANA_CLI_PATH)};
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    posix_spawn(&pid, TOVANA_CLI_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

TEST(KilledRun, TovanaCliKilledAtRandomMomentsIsPutBackByTovanaCli) {
    tovana::test::TempTree original;
    for (int folder = 0; folder < 20; ++folder) {
        for (int file = 0; file < 30; ++file) {
            original.Add("Léto/Složka č. " + std::to_string(folder) + "/Žluťoučký kůň " +
                         std::to_string(file) + ".txt");
        }
    }
    const Tree before = original.Snapshot();
    const std::string saved = std::getenv("XDG_STATE_HOME");
    const auto timed = [&](const std::vector<std::string>& args) {
        const auto start = std::chrono::steady_clock::now();
        int status = 0;
        ::waitpid(StartCli(args), &status, 0);
        return std::chrono::steady_clock::now() - start;
    };
    std::random_device device;
    const unsigned seed = device();
    std::mt19937 random(seed);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::chrono::microseconds runTime{};
    int round = 0;
    for (; round < 12 && std::chrono::steady_clock::now() < deadline; ++round) {
        tovana::test::TempTree tree;
        tovana::test::TempTree state;
        ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);
        std::filesystem::copy(original.root(), tree.root(),
                              std::filesystem::copy_options::recursive);
        const std::vector<std::string> run{"-s", "-d", "--replace-space", tree.path("Léto")};
        if (round == 0) {  // a whole run first, for how long one takes
            const auto whole = timed(run);
            ASSERT_NE(tree.Snapshot(), before);
            ASSERT_EQ(tovana::test::RunProgram(TOVANA_CLI_PATH, {"--undo"}).status, 0);
            ASSERT_EQ(tree.Snapshot(), before);
            runTime = std::chrono::duration_cast<std::chrono::microseconds>(whole);
            continue;
        }
        const pid_t pid = StartCli(run);
        std::this_thread::sleep_for(std::chrono::microseconds(
            std::uniform_int_distribution<long>(0, runTime.count())(random)));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        const tovana::test::ProgramResult undo =
            tovana::test::RunProgram(TOVANA_CLI_PATH, {"--undo"});
        const bool nothingYet = undo.err.find("nothing to undo") != std::string::npos;
        EXPECT_TRUE(undo.status == 0 || nothingYet) << "seed " << seed << ": " << undo.err;
        ASSERT_EQ(tree.Snapshot(), before) << "seed " << seed << ", round " << round;
    }
    ::setenv("XDG_STATE_HOME", saved.c_str(), 1);
    EXPECT_GE(round, 5) << "too few rounds in the time allowed";
    std::printf("%d runs killed at random moments (seed %u), each put back\n", round - 1, seed);
}

}  // namespace
