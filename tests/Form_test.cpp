// The window's behaviour, once for both windows: a form over a window in memory, a real
// temporary tree and an in-memory settings store.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <thread>

#include "TovanaVersion.h"
#include "form/Form.h"
#include "journal/Journal.h"
#include "names/PathRules.h"
#include "rename/Platform.h"
#include "rename/SlowFileSystem.h"
#include "support/CaseLabel.h"
#include "support/FakeFormView.h"
#include "support/MemorySettingsStore.h"
#include "support/OneSetting.h"
#include "support/TempTree.h"

#ifdef _WIN32
#include <windows.h>

#include "names/WideText.h"
#endif

namespace tovana {

// What the window's own run will set once runs are journaled.
struct FormTestAccess {
    static void SetLastJournal(Form& form, const std::string& path) { form.lastJournal_ = path; }
};

}  // namespace tovana

namespace {

using tovana::BoxIcon;
using tovana::Control;
using tovana::kRegDword;
using tovana::kRegSz;
using tovana::rkDirRenamed;
using tovana::rkFailed;
using tovana::rkFileRenamed;
using tovana::StoredValue;
using tovana::test::FakeFormView;
using Row = FakeFormView::PathRow;

// The version as the caption shows it, from the build.
std::string Version() {
    return tovana::AppVersionText(TOVANA_VERSION_MAJOR, TOVANA_VERSION_MINOR, TOVANA_VERSION_PATCH,
                                  TOVANA_VERSION_BUILD);
}

class FormTest : public testing::Test {
  protected:
    // Creates the window as the program does: FormCreate loads from `settings`.
    FakeFormView& Open() {
        view = std::make_unique<FakeFormView>();
        tovana::FormServices services;
        services.fileSystem =
            slow ? static_cast<tovana::FileSystem*>(slow.get()) : fileSystem.get();
        services.settings = &settings;
        services.journals = journals ? journals.get() : &journalStore;
        services.homeFolder = home;
        services.applicationTitle = "Tovana";
        services.version = Version();
        form = std::make_unique<tovana::Form>(*view, services);
        view->form = form.get();
        form->FormCreate();
        return *view;
    }

    std::string Path(const std::string& relative) { return tree.path(relative); }

    // Each rename and folder read takes `delay`: a run long enough to be stopped half way.
    void MakeSlow(std::chrono::microseconds delay = std::chrono::milliseconds(3)) {
        slow = std::make_unique<tovana::SlowFileSystem>(*fileSystem, delay);
    }
    void Journaled() { journals = std::make_unique<tovana::JournalStore>(state.path("journal")); }

    std::unique_ptr<tovana::FileSystem> fileSystem = tovana::MakeFileSystem();
    std::unique_ptr<tovana::SlowFileSystem> slow;
    std::unique_ptr<tovana::JournalStore> journals;
    std::string home = "/nonexistent-home";
    tovana::test::TempTree state;  // outside the renamed tree
    tovana::test::MemorySettingsStore settings;
    tovana::test::TempTree tree;
    std::unique_ptr<FakeFormView> view;
    std::unique_ptr<tovana::Form> form;
    tovana::test::TempTree undoJournals;  // where runs and undos go unless Journaled()
    tovana::JournalStore journalStore{undoJournals.path()};
};

TEST_F(FormTest, FirstStartShowsTheCreationValuesAndTheVersion) {
    FakeFormView& w = Open();
    EXPECT_EQ(w.caption, "Tovana  " + Version());
    EXPECT_FALSE(w.Enabled(Control::bOK));
    EXPECT_EQ(w.Text(Control::eMask), "*.*");
    EXPECT_TRUE(w.Checked(Control::rNoChangeName));
    EXPECT_TRUE(w.boxes.empty());
    EXPECT_EQ(settings.opensForReading, 3) << "all three ways of opening are tried";
    EXPECT_FALSE(settings.key.has_value()) << "loading must not create the store";
    EXPECT_EQ(form->Options(), tovana::RenameOptions{});
}

TEST_F(FormTest, ReplacingSpacesGreysOutItsPartnersAndBack) {
    FakeFormView& w = Open();
    w.Click(Control::cRemSpace);
    w.Click(Control::cReplSpace);
    EXPECT_FALSE(w.Enabled(Control::cRemSpace));
    EXPECT_FALSE(w.Enabled(Control::cReplUndr));
    EXPECT_TRUE(w.Enabled(Control::cRemUndr));
    EXPECT_TRUE(w.Checked(Control::cRemSpace)) << "greying out keeps the check";
    EXPECT_FALSE(form->Options().RemoveSpace) << "a greyed-out box does not act";
    w.Click(Control::cReplSpace);
    EXPECT_TRUE(w.Enabled(Control::cRemSpace));
    EXPECT_TRUE(w.Enabled(Control::cReplUndr));
    EXPECT_TRUE(form->Options().RemoveSpace);
}

TEST_F(FormTest, ReplacingUnderscoresGreysOutItsPartnersAndBack) {
    FakeFormView& w = Open();
    w.Click(Control::cReplUndr);
    EXPECT_FALSE(w.Enabled(Control::cRemUndr));
    EXPECT_FALSE(w.Enabled(Control::cReplSpace));
    EXPECT_TRUE(w.Enabled(Control::cRemSpace));
    w.Click(Control::cReplUndr);
    EXPECT_TRUE(w.Enabled(Control::cRemUndr));
    EXPECT_TRUE(w.Enabled(Control::cReplSpace));
}

TEST_F(FormTest, StartButtonFollowsTheFolderField) {
    FakeFormView& w = Open();
    w.Type(Control::ePath, "x");
    EXPECT_TRUE(w.Enabled(Control::bOK));
    w.Type(Control::ePath, "");
    EXPECT_FALSE(w.Enabled(Control::bOK));
    form->bOKClick();
    EXPECT_TRUE(w.boxes.empty()) << "a disabled start button starts nothing";
}

struct PickCase {
    const char* label;
    const char* field;     // relative to the tree; "" is an empty field
    bool exists;           // the field names an existing folder
    bool confirm;          // the user confirms a folder
    const char* expected;  // the field afterwards, relative to the tree, or "=" for unchanged
};

class FolderPick : public FormTest, public testing::WithParamInterface<PickCase> {};

// The chooser starts at the field's folder only when that exists; only a confirmed folder
// replaces the field; the focus moves to cSubDir either way.
TEST_P(FolderPick, StartsFillsAndMovesTheFocus) {
    const PickCase& c = GetParam();
    tree.Add("folder/");
    tree.Add("file.txt");
    tree.Add("chosen/");
    FakeFormView& w = Open();
    const std::string field = *c.field != '\0' ? Path(c.field) : "";
    w.Type(Control::ePath, field);
    if (c.confirm) {
        w.pickerAnswer = Path("chosen");
    }
    form->Button1Click();
    ASSERT_EQ(w.pickerStartedWith.size(), 1u);
    EXPECT_EQ(w.pickerStartedWith[0], c.exists ? field : "");
    EXPECT_EQ(w.Text(Control::ePath), std::string(c.expected) == "=" ? field : Path(c.expected));
    EXPECT_EQ(w.focus, Control::cSubDir);
    EXPECT_EQ(w.Enabled(Control::bOK), !w.Text(Control::ePath).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Fields, FolderPick,
    testing::Values(PickCase{"ExistingFolderConfirmed", "folder", true, true, "chosen"},
                    PickCase{"ExistingFolderCancelled", "folder", true, false, "="},
                    PickCase{"MissingFolderCancelled", "missing", false, false, "="},
                    PickCase{"FileCancelled", "file.txt", false, false, "="},
                    PickCase{"EmptyFieldConfirmed", "", false, true, "chosen"}),
    tovana::test::CaseLabel());

TEST_F(FormTest, RunFromOkRenamesListsAndSummarises) {
    for (const char* entry : {"Á/Ě/č.txt", "Á/C.txt", "Á/Č.txt", "Á/keep.txt"}) {
        tree.Add(entry);
    }
    FakeFormView& w = Open();
    w.Type(Control::ePath, Path("Á"));
    w.Click(Control::cSubDir);
    w.Click(Control::cRenDir);
    form->bOKClick();
    EXPECT_TRUE(w.busy) << "the run goes on after the click returns";
    w.RunToEnd();
    const std::string root = Path("Á");
    ASSERT_EQ(w.rows.size(), 4u);
    std::map<std::string, tovana::ResultKind> kinds;
    for (const Row& row : w.rows) {
        kinds[row.path] = row.kind;
    }
    const std::map<std::string, tovana::ResultKind> expected = {{Path("Á/Ě/č.txt"), rkFileRenamed},
                                                                {Path("Á/Ě"), rkDirRenamed},
                                                                {Path("Á/Č.txt"), rkFailed},
                                                                {root, rkDirRenamed}};
    EXPECT_EQ(kinds, expected);
    EXPECT_EQ(w.rows.back().path, root) << "the chosen folder comes last";
    ASSERT_EQ(w.boxes.size(), 1u);
    EXPECT_EQ(w.boxes[0].box.title, "Výsledek přejmenování");
    EXPECT_EQ(w.boxes[0].box.text, "Přejmenováno:\r\r1 souborů\r2 adresářů\rNepřejmenováno: 1");
    EXPECT_EQ(w.boxes[0].box.icon, BoxIcon::None);
    EXPECT_EQ(w.Text(Control::ePath), Path("A")) << "the field follows the renamed folder";
    EXPECT_EQ(w.caption, "Tovana  " + Version()) << "the progress leaves the caption";
    EXPECT_EQ(w.busyCount, 1);
    EXPECT_FALSE(w.boxes[0].whileBusy) << "the hourglass goes before the summary opens";
    EXPECT_EQ(form->counters().FileCount, 1);
    EXPECT_EQ(form->counters().DirCount, 2);
}

TEST_F(FormTest, TwoRunsKeepBothRunsRowsFirstOnTop) {
    tree.Add("č.txt");
    FakeFormView& w = Open();
    w.Type(Control::ePath, tree.path());
    form->bOKClick();
    w.RunToEnd();
    tree.Add("ř.txt");
    form->bOKClick();
    w.RunToEnd();
    ASSERT_EQ(w.rows.size(), 2u);
    EXPECT_EQ(w.rows[0].path, Path("č.txt"));
    EXPECT_EQ(w.rows[1].path, Path("ř.txt"));
    EXPECT_EQ(w.boxes.back().box.text, "Přejmenováno:\r\r1 souborů\r0 adresářů");
}

// The list refusing a row stops the run: the renames made are counted, the hourglass goes and
// the error box tells, without the summary.
TEST_F(FormTest, ListRefusingARowStopsTheRunWithTheErrorBox) {
    tree.Add("č.txt");
    tree.Add("ř.txt");
    FakeFormView& w = Open();
    w.rowLimit = 0;
    w.Type(Control::ePath, tree.path());
    form->bOKClick();
    w.RunToEnd();
    EXPECT_FALSE(w.busy);
    ASSERT_EQ(w.boxes.size(), 1u);
    EXPECT_EQ(w.boxes[0].box.text, "Unable to insert a line.");
    EXPECT_EQ(w.boxes[0].box.title, "Tovana");
    EXPECT_EQ(w.boxes[0].box.icon, BoxIcon::Stop);
    EXPECT_FALSE(w.boxes[0].whileBusy);
    const int left =
        static_cast<int>(std::filesystem::exists(std::filesystem::u8path(Path("č.txt")))) +
        static_cast<int>(std::filesystem::exists(std::filesystem::u8path(Path("ř.txt"))));
    EXPECT_EQ(form->counters().FileCount, 2 - left) << "the counters tell what the tree shows";
    EXPECT_GE(form->counters().FileCount, 1);
}

// Files whose names all change, in one folder.
void AddRenamable(tovana::test::TempTree& tree, int count) {
    for (int i = 0; i < count; ++i) {
        tree.Add("č" + std::to_string(1000 + i) + ".txt");
    }
}

// The same by the names alone, for while a run goes on: reading the files then would hold them
// open, and on Windows a file open for reading cannot be renamed, so the run would fail them.
int LeftUnrenamedByName(const tovana::test::TempTree& tree) {
    int left = 0;
    for (const auto& entry : std::filesystem::directory_iterator(tree.root())) {
        left += entry.path().u8string().find(u8"č") != std::u8string::npos ? 1 : 0;
    }
    return left;
}

int LeftUnrenamed(const tovana::test::TempTree& tree) {
    int left = 0;
    for (const auto& [name, content] : tree.Snapshot()) {
        left += name.find("č") != std::string::npos ? 1 : 0;
    }
    return left;
}

// While the run goes on the window shows its rows and how far it is, refuses a second start,
// and keeps the hourglass; all in the run's order.
TEST_F(FormTest, RowsAndProgressArriveWhileTheRunGoesOn) {
    AddRenamable(tree, 60);
    MakeSlow();
    Journaled();
    FakeFormView& w = Open();
    w.Type(Control::ePath, tree.path());
    form->bOKClick();
    std::size_t rowsWhileRunning = 0;
    std::size_t firstRows = 0;  // at the first take that brought any
    bool progressShown = false;
    w.RunToEnd([&] {
        if (form->Running()) {
            if (firstRows == 0) {
                firstRows = w.rows.size();
            }
            rowsWhileRunning = w.rows.size();
            progressShown = progressShown || w.caption.find("přejmenováno") != std::string::npos;
            EXPECT_TRUE(w.busy);
            form->bOKClick();  // ignored: one run at a time
        }
    });
    EXPECT_GT(rowsWhileRunning, 0u) << "rows come before the run ends";
    EXPECT_LT(firstRows, 60u) << "in batches, not all at the end";
    EXPECT_TRUE(progressShown);
    EXPECT_GT(w.posted, 1);
    EXPECT_EQ(w.busyCount, 1);
    ASSERT_EQ(w.rows.size(), 60u);
    tovana::Journal journal;
    std::string detail;
    ASSERT_EQ(tovana::ReadJournal(form->LastJournal(), journal, detail),
              tovana::JournalProblem::None)
        << detail;
    ASSERT_EQ(journal.Order.size(), w.rows.size());
    for (std::size_t i = 0; i < w.rows.size(); ++i) {
        EXPECT_EQ(w.rows[i].path, journal.Entries[journal.Order[i]].Path) << "the run's order";
    }
    ASSERT_EQ(w.boxes.size(), 1u);
    EXPECT_EQ(w.boxes[0].box.text, "Přejmenováno:\r\r60 souborů\r0 adresářů");
    EXPECT_EQ(LeftUnrenamed(tree), 0);
}

struct StopCase {
    const char* label;
    bool byClose;  // the close button rather than Esc (the cancel button)
    tovana::BoxAnswer answer;
};

class StopDuringRun : public FormTest, public testing::WithParamInterface<StopCase> {};

// Esc and the close button ask; Yes stops after the rename under way, and the rows, counters,
// summary, journal and tree all tell the same; No lets the run finish. A second run then goes
// normally to the end.
TEST_P(StopDuringRun, AsksThenStopsConsistentlyOrGoesOn) {
    const StopCase& c = GetParam();
    AddRenamable(tree, 80);
    MakeSlow();
    Journaled();
    FakeFormView& w = Open();
    w.Type(Control::ePath, tree.path());
    form->bOKClick();
    bool asked = false;
    w.answers = {c.answer};
    w.RunToEnd([&] {
        if (!asked && form->Running() && !w.rows.empty()) {
            asked = true;
            if (c.byClose) {
                w.Close();
                EXPECT_FALSE(w.closed) << "the window stays while the run ends";
            } else {
                form->bCancelClick();
            }
        }
    });
    ASSERT_TRUE(asked);
    ASSERT_EQ(w.boxes.size(), 2u);
    EXPECT_EQ(w.boxes[0].box.text, "Přerušit přejmenování?");
    EXPECT_EQ(w.boxes[0].box.buttons, tovana::BoxButtons::YesNo);
    EXPECT_TRUE(w.boxes[0].whileBusy);
    const int renamed = 80 - LeftUnrenamed(tree);
    EXPECT_EQ(form->counters().FileCount, renamed);
    EXPECT_EQ(static_cast<int>(w.rows.size()), renamed);
    const std::string counts =
        "Přejmenováno:\r\r" + std::to_string(renamed) + " souborů\r0 adresářů";
    const bool stopped = c.answer == tovana::BoxAnswer::Yes;
    EXPECT_EQ(w.boxes[1].box.text, stopped ? "Přejmenování přerušeno.\r\r" + counts : counts);
    EXPECT_EQ(renamed < 80, stopped);
    EXPECT_EQ(form->counters().Stopped, stopped);

    tovana::Journal journal;
    std::string detail;
    ASSERT_EQ(tovana::ReadJournal(form->LastJournal(), journal, detail),
              tovana::JournalProblem::None)
        << detail;
    EXPECT_EQ(journal.Files, renamed);
    EXPECT_TRUE(journal.Complete) << "a stopped run still closes its journal";

    const std::string first = form->LastJournal();
    form->bOKClick();
    w.RunToEnd();
    EXPECT_EQ(LeftUnrenamed(tree), 0);
    EXPECT_EQ(w.boxes.back().box.text,
              "Přejmenováno:\r\r" + std::to_string(80 - renamed) + " souborů\r0 adresářů");
    EXPECT_EQ(static_cast<int>(w.rows.size()), 80);
    EXPECT_NE(form->LastJournal(), first) << "each run has its own journal";
}

INSTANTIATE_TEST_SUITE_P(Ways, StopDuringRun,
                         testing::Values(StopCase{"EscYes", false, tovana::BoxAnswer::Yes},
                                         StopCase{"EscNo", false, tovana::BoxAnswer::No},
                                         StopCase{"CloseYes", true, tovana::BoxAnswer::Yes}),
                         tovana::test::CaseLabel());

// The question's own loop goes on delivering the run's news; a run whose last rename was made
// before the question opened ends meanwhile, yet no summary opens over the question, and the
// rows and summary come once it is answered.
TEST_F(FormTest, RunEndingWhileTheQuestionIsOpenWaitsForTheAnswer) {
    AddRenamable(tree, 20);
    MakeSlow();
    FakeFormView& w = Open();
    w.Type(Control::ePath, tree.path());
    form->bOKClick();
    // The window is slow to take anything; the run makes its last rename.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (LeftUnrenamedByName(tree) > 0) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the run did not end";
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // and reports its end
    std::size_t boxesWhileAsking = 0;
    std::size_t rowsWhileAsking = 0;
    w.answers = {tovana::BoxAnswer::No};
    w.onBox = [&](const tovana::Box& box) {
        if (box.text != "Přerušit přejmenování?") {
            return;
        }
        w.PumpPending();
        rowsWhileAsking = w.rows.size();
        boxesWhileAsking = w.boxes.size();
    };
    form->bCancelClick();
    w.RunToEnd();
    EXPECT_EQ(boxesWhileAsking, 1u) << "only the question";
    EXPECT_EQ(w.rows.size(), 20u);
    EXPECT_EQ(rowsWhileAsking, 0u) << "the rows wait for the answer";
    ASSERT_EQ(w.boxes.size(), 2u);
    EXPECT_EQ(w.boxes[1].box.text, "Přejmenováno:\r\r20 souborů\r0 adresářů");
}

class QuestionHolds : public FormTest, public testing::WithParamInterface<StopCase> {};

// While the question whether to stop is open nothing more is renamed: the rename under way
// completes, then the run waits for the answer. No lets it go on to the end; Yes ends it where
// it waited, and the rows, counters and journal tell exactly the renames on disk.
TEST_P(QuestionHolds, NoRenameWhileItIsOpen) {
    const StopCase& c = GetParam();
    constexpr int kFiles = 200;
    AddRenamable(tree, kFiles);
    MakeSlow();
    Journaled();
    FakeFormView& w = Open();
    w.Type(Control::ePath, tree.path());
    form->bOKClick();
    int renamedWhenAsked = -1;
    int renamedWhenAnswered = -1;
    w.answers = {c.answer};
    w.onBox = [&](const tovana::Box& box) {
        if (box.buttons != tovana::BoxButtons::YesNo) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the rename under way
        renamedWhenAsked = kFiles - LeftUnrenamedByName(tree);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));  // some 100 renames' time
        renamedWhenAnswered = kFiles - LeftUnrenamedByName(tree);
    };
    bool asked = false;
    w.RunToEnd([&] {
        if (!asked && form->Running() && !w.rows.empty()) {
            asked = true;
            form->bCancelClick();
        }
    });
    ASSERT_TRUE(asked);
    ASSERT_GT(renamedWhenAsked, 0);
    ASSERT_LT(renamedWhenAsked, kFiles) << "a tree too small to be asked about in time";
    EXPECT_EQ(renamedWhenAnswered, renamedWhenAsked) << "renamed while the question was open";
    const int renamed = kFiles - LeftUnrenamed(tree);
    const bool stopped = c.answer == tovana::BoxAnswer::Yes;
    EXPECT_EQ(renamed, stopped ? renamedWhenAsked : kFiles);
    EXPECT_EQ(form->counters().FileCount, renamed);
    EXPECT_EQ(static_cast<int>(w.rows.size()), renamed);
    tovana::Journal journal;
    std::string detail;
    ASSERT_EQ(tovana::ReadJournal(form->LastJournal(), journal, detail),
              tovana::JournalProblem::None)
        << detail;
    EXPECT_EQ(journal.Files, renamed);
}

INSTANTIATE_TEST_SUITE_P(Answers, QuestionHolds,
                         testing::Values(StopCase{"No", false, tovana::BoxAnswer::No},
                                         StopCase{"Yes", false, tovana::BoxAnswer::Yes}),
                         tovana::test::CaseLabel());

// The session ends during a run: it stops, its rows are in, and only then are the settings
// saved; no box waits for an answer that cannot come.
TEST_F(FormTest, SessionEndStopsTheRunBeforeSaving) {
    AddRenamable(tree, 80);
    MakeSlow();
    FakeFormView& w = Open();
    w.Type(Control::ePath, tree.path());
    form->bOKClick();
    w.PumpOne();
    form->StopRunAndWait();
    EXPECT_FALSE(form->Running());
    EXPECT_FALSE(w.busy);
    EXPECT_TRUE(form->counters().Stopped);
    EXPECT_EQ(static_cast<int>(w.rows.size()), 80 - LeftUnrenamed(tree));
    EXPECT_LT(w.rows.size(), 80u);
    EXPECT_TRUE(form->FormCloseQuery());
    EXPECT_TRUE(settings.key.has_value()) << "saved after the run";
    EXPECT_TRUE(w.boxes.empty());
}

enum class RunEnd { Finished, StoppedByEsc, SessionEnd, NotStarted };

struct LockCase {
    const char* label;
    std::vector<Control> clicked;  // boxes the user checked before the run
    Control focused;               // where the focus was when the run started
    RunEnd end;
};

class ControlsDuringRun : public FormTest, public testing::WithParamInterface<LockCase> {
  protected:
    std::map<Control, bool> EnabledStates(const FakeFormView& w) {
        std::map<Control, bool> states;
        for (int i = 0; i <= static_cast<int>(Control::lbMessage); ++i) {
            states[static_cast<Control>(i)] = w.Enabled(static_cast<Control>(i));
        }
        return states;
    }
};

// During a run every control but the cancel button and the list is greyed out and the focus
// is on the cancel button; however the run ends, each control comes back as it was (the boxes
// that rule out one another included) and so does the focus. A run that cannot start changes
// nothing.
TEST_P(ControlsDuringRun, AreGreyedOutButCancelAndComeBackAsTheyWere) {
    const LockCase& c = GetParam();
    AddRenamable(tree, 30);
    MakeSlow();
    FakeFormView& w = Open();
    w.Type(Control::ePath, c.end == RunEnd::NotStarted ? Path("missing") : tree.path());
    for (const Control box : c.clicked) {
        w.Click(box);
    }
    w.focus = c.focused;
    const std::map<Control, bool> before = EnabledStates(w);

    form->bOKClick();
    if (c.end == RunEnd::NotStarted) {
        w.RunToEnd();  // the folder is looked at on the worker
        EXPECT_EQ(EnabledStates(w), before);
        EXPECT_EQ(w.focus, c.focused);
        return;
    }
    ASSERT_TRUE(form->Running());
    for (const auto& [control, on] : EnabledStates(w)) {
        EXPECT_EQ(on, control == Control::bCancel || control == Control::lbMessage)
            << "control " << static_cast<int>(control);
    }
    EXPECT_EQ(w.focus, Control::bCancel);
    switch (c.end) {
        case RunEnd::Finished:
            w.RunToEnd();
            break;
        case RunEnd::StoppedByEsc:
            w.answers = {tovana::BoxAnswer::Yes};
            form->AskToStopRun();
            w.RunToEnd();
            break;
        case RunEnd::SessionEnd:
            form->StopRunAndWait();
            break;
        case RunEnd::NotStarted:
            break;
    }
    ASSERT_FALSE(form->Running());
    EXPECT_EQ(EnabledStates(w), before);
    EXPECT_EQ(w.focus, c.focused);
    EXPECT_FALSE(w.busy);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, ControlsDuringRun,
    testing::Values(
        LockCase{"Plain", {}, Control::bOK, RunEnd::Finished},
        LockCase{"SpacesReplaced", {Control::cReplSpace}, Control::ePath, RunEnd::Finished},
        LockCase{
            "UnderscoresReplaced", {Control::cReplUndr}, Control::cReplUndr, RunEnd::StoppedByEsc},
        LockCase{"StoppedAtSessionEnd",
                 {Control::cReplSpace, Control::rUpperName},
                 Control::rUpperName,
                 RunEnd::SessionEnd},
        LockCase{"FolderMissing", {Control::cReplSpace}, Control::bOK, RunEnd::NotStarted}),
    tovana::test::CaseLabel());

struct FolderCase {
    const char* label;
    const char* field;  // relative to the tree
    const char* reason;
};

class UnusableFolder : public FormTest, public testing::WithParamInterface<FolderCase> {};

// A folder that cannot be run in or previewed says so by name instead of a summary of nothing.
TEST_P(UnusableFolder, GivesAnErrorBoxNamingIt) {
    tree.Add("file.txt");
    FakeFormView& w = Open();
    const std::string folder = Path(GetParam().field);
    w.Type(Control::ePath, folder);
    const auto before = tree.Snapshot();
    form->bOKClick();
    w.RunToEnd();
    EXPECT_FALSE(w.busy);
    EXPECT_EQ(tree.Snapshot(), before);
    EXPECT_TRUE(w.rows.empty());
    ASSERT_EQ(w.boxes.size(), 1u);
    EXPECT_FALSE(w.boxes[0].whileBusy);
    EXPECT_EQ(w.boxes[0].box.icon, BoxIcon::Stop);
    EXPECT_NE(w.boxes[0].box.text.find("\u201e" + folder + "\u201c"), std::string::npos)
        << w.boxes[0].box.text;
    EXPECT_NE(w.boxes[0].box.text.find(GetParam().reason), std::string::npos)
        << w.boxes[0].box.text;
    // A preview there says the same, not a summary of nothing.
    const tovana::Box fromOk = w.boxes[0].box;
    w.boxes.clear();
    form->lbMessageCommand(tovana::MenuCommand::Preview);
    w.RunToEnd();
    ASSERT_EQ(w.boxes.size(), 1u);
    EXPECT_EQ(w.boxes[0].box.text, fromOk.text);
    EXPECT_EQ(w.boxes[0].box.icon, BoxIcon::Stop);
    EXPECT_TRUE(w.rows.empty());
}

INSTANTIATE_TEST_SUITE_P(Folders, UnusableFolder,
                         testing::Values(FolderCase{"Missing", "missing", "neexistuje"},
                                         FolderCase{"File", "file.txt", "není adresář"}),
                         tovana::test::CaseLabel());

// A whole disk or the home folder asks first, with No as the default answer.
TEST_F(FormTest, WholeDiskOrHomeAsksFirst) {
    tree.Add("č.txt");
    home = tree.path();
    FakeFormView& w = Open();
#ifdef _WIN32
    const std::string root = "C:\\";
#else
    const std::string root = "/";
#endif
    for (const std::string& folder : {root, tree.path()}) {
        w.boxes.clear();
        w.answers = {tovana::BoxAnswer::No};
        w.Type(Control::ePath, folder);
        form->bOKClick();
        EXPECT_FALSE(form->Running()) << folder;
        ASSERT_EQ(w.boxes.size(), 1u) << folder;
        EXPECT_EQ(w.boxes[0].box.buttons, tovana::BoxButtons::YesNo);
        EXPECT_TRUE(w.boxes[0].box.defaultNo);
        EXPECT_NE(w.boxes[0].box.text.find("\u201e" + folder + "\u201c"), std::string::npos);
    }
    EXPECT_EQ(LeftUnrenamed(tree), 1);
    w.answers = {tovana::BoxAnswer::Yes};
    form->bOKClick();
    w.RunToEnd();
    EXPECT_EQ(LeftUnrenamed(tree), 0);
}

TEST(WideFolder, RootsAndHomeWithOrWithoutTheLastSeparator) {
    struct Case {
        const char* folder;
        const char* home;
        bool wide;
    };
#ifdef _WIN32
    const Case cases[] = {{"C:\\", "", true},
                          {"c:", "", true},
                          {"D:\\\\", "", true},
                          {"C:\\Users", "", false},
                          {"C:\\Users\\Jana\\", "C:\\Users\\Jana", true},
                          {"c:\\users\\jana", "C:\\Users\\Jana", true},
                          {"C:\\Users\\Jana\\Fotky", "C:\\Users\\Jana", false}};
#else
    const Case cases[] = {{"/", "", true},
                          {"//", "", true},
                          {"/home", "/home/jana", false},
                          {"/home/jana/", "/home/jana", true},
                          {"/home/jana", "/home/jana/", true},
                          {"/home/jana/Fotky", "/home/jana", false},
                          {"/home/jan", "/home/jana", false}};
#endif
    for (const Case& c : cases) {
        EXPECT_EQ(tovana::IsWideFolder(c.folder, c.home), c.wide) << c.folder << " home " << c.home;
    }
}

#ifdef _WIN32
std::string ShortPath(const std::string& path) {
    const std::wstring wide = tovana::WideFromUtf8(path);
    std::wstring shortened(MAX_PATH * 4, L'\0');
    const DWORD length =
        ::GetShortPathNameW(wide.c_str(), shortened.data(), static_cast<DWORD>(shortened.size()));
    shortened.resize(length < shortened.size() ? length : 0);
    return tovana::Utf8FromWide(shortened);
}

// A folder typed by its short (8.3) name is renamed under its long one: the field follows it as
// it follows a folder typed by its long name, and the next OK runs in it, not "neexistuje".
TEST_F(FormTest, FolderTypedByItsShortNameFieldFollowsTheRename) {
    tree.AddFile("Léto Tom/Čaj.txt", "čaj");
    const std::string typed = ShortPath(Path("Léto Tom"));
    ASSERT_FALSE(typed.empty());
    ASSERT_EQ(tovana::SplitChosenFolder(typed).name.find("Tom"), std::string::npos)
        << "the file system gives the folder no short name: " << typed;
    FakeFormView& w = Open();
    w.Type(Control::ePath, typed);
    w.Click(Control::cRenDir);
    form->bOKClick();
    w.RunToEnd();
    ASSERT_EQ(w.boxes.size(), 1u);
    EXPECT_EQ(w.boxes[0].box.text, "Přejmenováno:\r\r1 souborů\r1 adresářů");
    // The folders above it stay as they were typed.
    EXPECT_EQ(w.Text(Control::ePath), tovana::SplitChosenFolder(typed).prefix + "Leto Tom");

    tree.AddFile("Leto Tom/Šum.txt", "šum");
    form->bOKClick();
    w.RunToEnd();
    ASSERT_EQ(w.boxes.size(), 2u);
    EXPECT_EQ(w.boxes[1].box.text, "Přejmenováno:\r\r1 souborů\r0 adresářů");
    EXPECT_EQ(tree.Snapshot(),
              (std::map<std::string, std::string>{
                  {"Leto Tom/", ""}, {"Leto Tom/Caj.txt", "čaj"}, {"Leto Tom/Sum.txt", "šum"}}));
}

// Only the last part is expanded, to the name the run reports; a missing folder stays as typed.
TEST(StoredLastName, ShortLastPartBecomesLongTheRestStaysAsGiven) {
    tovana::test::TempTree tree;
    tree.Add("Dlouhá složka/Léto Tom/");
    const std::string inner = ShortPath(tree.path("Dlouhá složka/Léto Tom"));
    const std::string outer = ShortPath(tree.path("Dlouhá složka"));
    const tovana::ChosenFolder innerParts = tovana::SplitChosenFolder(inner);
    ASSERT_EQ(innerParts.name.find("Tom"), std::string::npos) << inner;
    struct Case {
        std::string given, expected;
    };
    const Case cases[] = {
        {inner, innerParts.prefix + "Léto Tom"},
        {inner + "\\", innerParts.prefix + "Léto Tom"},
        {tree.path("Dlouhá složka/Léto Tom"), tree.path("Dlouhá složka/Léto Tom")},
        {outer, tovana::SplitChosenFolder(outer).prefix + "Dlouhá složka"},
        {tree.path("Dlouhá složka/LTO~1.XYZ"), tree.path("Dlouhá složka/LTO~1.XYZ")},
        {"", ""}};
    for (const Case& c : cases) {
        EXPECT_EQ(tovana::WithStoredLastName(c.given), c.expected) << c.given;
    }
}
#endif

// A journal that cannot be written leaves the run as it is, and says so once, after the summary.
TEST_F(FormTest, UnwritableJournalTellsOnceAfterTheSummary) {
    tree.Add("č.txt");
    state.Add("journal");  // a file where the folder should be
    Journaled();
    FakeFormView& w = Open();
    w.Type(Control::ePath, tree.path());
    form->bOKClick();
    w.RunToEnd();
    EXPECT_EQ(LeftUnrenamed(tree), 0);
    ASSERT_EQ(w.boxes.size(), 2u);
    EXPECT_EQ(w.boxes[0].box.title, "Výsledek přejmenování");
    EXPECT_EQ(w.boxes[1].box.icon, BoxIcon::Stop);
    EXPECT_NE(w.boxes[1].box.text.find("Záznam"), std::string::npos);
}

TEST_F(FormTest, LinksHandTheirAddressesToTheShell) {
    FakeFormView& w = Open();
    form->lAuthorClick();
    form->lWebClick();
    EXPECT_EQ(w.opened, (std::vector<std::string>{
                            "MailTo:podpora@korvel.example?Subject=Pripominky%20k%20Tovana",
                            "http://www.korvel.example"}));
}

// Settings through the controls.

TEST_F(FormTest, KeyWithOnlyPathEmptiesTheMaskAndClearsEveryFlag) {
    settings.PutText("Path", "/home/jana/Fotky");
    FakeFormView& w = Open();
    EXPECT_EQ(w.Text(Control::ePath), "/home/jana/Fotky");
    EXPECT_TRUE(w.Enabled(Control::bOK)) << "the path's change handler must run";
    EXPECT_EQ(w.Text(Control::eMask), "");
    EXPECT_TRUE(w.Checked(Control::rNoChangeName));
    EXPECT_FALSE(w.Checked(Control::cSubDir));
}

TEST_F(FormTest, StoredReplaceSpaceGreysOutItsPartners) {
    settings.PutFlag("ReplaceSpace", true);
    settings.PutFlag("RemoveSpace", true);
    FakeFormView& w = Open();
    EXPECT_TRUE(w.Checked(Control::cReplSpace));
    EXPECT_FALSE(w.Enabled(Control::cRemSpace));
    EXPECT_TRUE(w.Checked(Control::cRemSpace)) << "a greyed-out box keeps its check";
    EXPECT_FALSE(w.Enabled(Control::cReplUndr));
    EXPECT_TRUE(w.Enabled(Control::cRemUndr));
}

TEST_F(FormTest, BothReplacementsStoredEndCheckedAndGreyedOut) {
    settings.PutFlag("ReplaceSpace", true);
    settings.PutFlag("ReplaceUnderline", true);
    FakeFormView& w = Open();
    EXPECT_TRUE(w.Checked(Control::cReplSpace));
    EXPECT_TRUE(w.Checked(Control::cReplUndr));
    EXPECT_FALSE(w.Enabled(Control::cReplSpace));
    EXPECT_FALSE(w.Enabled(Control::cReplUndr));
    const tovana::RenameOptions o = form->Options();
    EXPECT_FALSE(o.ReplaceSpaceEffective() || o.ReplaceUnderlineEffective());
}

TEST_F(FormTest, BothCasesStoredLowerWins) {
    settings.PutFlag("ToUpperCase", true);
    settings.PutFlag("ToLowerCase", true);
    FakeFormView& w = Open();
    EXPECT_TRUE(w.Checked(Control::rLowerName));
    EXPECT_FALSE(w.Checked(Control::rUpperName));
    EXPECT_FALSE(w.Checked(Control::rNoChangeName));
}

// Each of the eleven inputs alone, walked through the one table: stored under its name, it
// reaches its control and the options of a run, and the close stores it back under that name
// with every other value at its creation value.
class SettingRowTest : public FormTest, public testing::WithParamInterface<tovana::SettingRow> {};

TEST_P(SettingRowTest, GoesFromTheStoreThroughItsControlToTheRunAndBack) {
    const tovana::SettingRow& row = GetParam();
    // The folder must not be empty for the close to store it.
    const tovana::RenameOptions expected =
        tovana::test::WithOneSetting(row.name, "/data/Léto", "*.JPG;*.PNG");
    for (const tovana::SettingRow& each : tovana::kSettings) {
        if (each.text != nullptr) {
            settings.PutText(each.name, expected.*each.text);
        } else {
            settings.PutFlag(each.name, expected.*each.on);
        }
    }
    FakeFormView& w = Open();
    EXPECT_TRUE(w.boxes.empty());
    if (row.text != nullptr) {
        EXPECT_EQ(w.Text(row.control), expected.*row.text);
    } else {
        EXPECT_TRUE(w.Checked(row.control));
    }
    EXPECT_EQ(form->Options(), expected);

    settings.key.reset();
    w.Close();
    ASSERT_TRUE(w.closed);
    for (const tovana::SettingRow& each : tovana::kSettings) {
        const StoredValue* stored = settings.Find(each.name);
        ASSERT_NE(stored, nullptr) << each.name;
        if (each.text != nullptr) {
            const std::string text = expected.*each.text;
            std::vector<std::uint8_t> bytes(text.begin(), text.end());
            bytes.push_back(0);
            EXPECT_EQ(*stored, (StoredValue{kRegSz, bytes})) << each.name;
        } else {
            const std::uint8_t on = expected.*each.on ? 1 : 0;
            EXPECT_EQ(*stored, (StoredValue{kRegDword, {on, 0, 0, 0}})) << each.name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Eleven, SettingRowTest, testing::ValuesIn(tovana::kSettings),
                         [](const testing::TestParamInfo<tovana::SettingRow>& row) {
                             return std::string(row.param.name);
                         });

struct MistypedCase {
    const char* label;
    StoredValue value;
    const char* message;
};

class MistypedFlag : public FormTest, public testing::WithParamInterface<MistypedCase> {};

// The first unreadable value is reported, but the values after it still load, so that the
// next close does not write creation values over them.
TEST_P(MistypedFlag, IsReportedAndTheLoadGoesOn) {
    settings.PutText("Path", "/data");
    settings.PutText("Masks", "*.JPG");
    settings.Put("SubDir", GetParam().value);
    settings.PutFlag("RenameDir", true);
    settings.Put("NonAlphaNum", {kRegSz, {'x', 0}});
    settings.PutFlag("ToLowerCase", true);
    FakeFormView& w = Open();
    ASSERT_EQ(w.boxes.size(), 1u) << "only the first unreadable value is reported";
    EXPECT_EQ(w.boxes[0].box.text, GetParam().message);
    EXPECT_EQ(w.boxes[0].box.title, "Tovana");
    EXPECT_EQ(w.boxes[0].box.icon, BoxIcon::Stop);
    EXPECT_EQ(w.caption, "Tovana  " + Version());
    EXPECT_EQ(w.Text(Control::ePath), "/data");
    EXPECT_FALSE(w.Checked(Control::cSubDir)) << "the mistyped value keeps its creation value";
    EXPECT_TRUE(w.Checked(Control::cRenDir)) << "values after the mistyped one are loaded";
    EXPECT_TRUE(w.Checked(Control::rLowerName));

    w.Close();
    ASSERT_TRUE(w.closed);
    EXPECT_EQ(*settings.Find("RenameDir"), (StoredValue{kRegDword, {1, 0, 0, 0}}));
    EXPECT_EQ(*settings.Find("ToLowerCase"), (StoredValue{kRegDword, {1, 0, 0, 0}}));
}

INSTANTIATE_TEST_SUITE_P(
    Values, MistypedFlag,
    testing::Values(MistypedCase{"TextOne", {kRegSz, {'1', 0}}, "Invalid data type for 'SubDir'"},
                    MistypedCase{"TextTrue",
                                 {kRegSz, {'t', 'r', 'u', 'e', 0}},
                                 "Failed to get data for 'SubDir'"},
                    MistypedCase{"EightByteNumber",
                                 {kRegDword, {1, 0, 0, 0, 0, 0, 0, 0}},
                                 "Failed to get data for 'SubDir'"}),
    tovana::test::CaseLabel());

TEST_F(FormTest, ShortNumberAndExpandableTextRead) {
    settings.Put("Path", {tovana::kRegExpandSz, {'/', 'x', 0, 'y'}});
    settings.Put("SubDir", {kRegDword, {1}});
    settings.Put("Masks", {tovana::kRegBinary, {}});
    FakeFormView& w = Open();
    EXPECT_TRUE(w.boxes.empty());
    EXPECT_EQ(w.Text(Control::ePath), "/x");
    EXPECT_TRUE(w.Checked(Control::cSubDir));
    EXPECT_EQ(w.Text(Control::eMask), "") << "zero bytes read as empty text whatever the type";
}

TEST_F(FormTest, CloseWritesAllElevenValuesInOrderEvenUnchanged) {
    FakeFormView& w = Open();
    form->bCancelClick();
    EXPECT_TRUE(w.closed);
    ASSERT_TRUE(settings.key.has_value());
    std::vector<std::string> names;
    for (const auto& entry : *settings.key) {
        names.push_back(entry.first);
    }
    const std::vector<std::string> order = {
        "Path",         "Masks",       "SubDir",           "RenameDir",
        "ReplaceSpace", "RemoveSpace", "ReplaceUnderline", "RemoveUnderline",
        "ToUpperCase",  "ToLowerCase", "NonAlphaNum"};
    EXPECT_EQ(names, order);
    EXPECT_EQ(*settings.Find("Path"), (StoredValue{kRegSz, {0}}));
    EXPECT_EQ(*settings.Find("Masks"), (StoredValue{kRegSz, {'*', '.', '*', 0}}));
    EXPECT_EQ(*settings.Find("SubDir"), (StoredValue{kRegDword, {0, 0, 0, 0}}));
}

TEST_F(FormTest, ValuesRoundTripThroughTheControls) {
    FakeFormView& first = Open();
    first.Type(Control::ePath, "/srv/www/Léto");
    first.Type(Control::eMask, "");
    first.Click(Control::cSubDir);
    first.Click(Control::cReplUndr);
    first.Click(Control::rUpperName);
    first.Close();
    FakeFormView& w = Open();
    EXPECT_TRUE(w.boxes.empty());
    EXPECT_EQ(w.Text(Control::ePath), "/srv/www/Léto");
    EXPECT_EQ(w.Text(Control::eMask), "");
    EXPECT_TRUE(w.Checked(Control::cSubDir));
    EXPECT_TRUE(w.Checked(Control::cReplUndr));
    EXPECT_FALSE(w.Enabled(Control::cReplSpace));
    EXPECT_TRUE(w.Checked(Control::rUpperName));
    EXPECT_FALSE(w.Checked(Control::rNoChangeName));
}

TEST_F(FormTest, FailedWriteKeepsTheWindowOpenUntilItSucceeds) {
    FakeFormView& w = Open();
    settings.unwritable = {"SubDir"};
    w.Close();
    EXPECT_FALSE(w.closed);
    ASSERT_EQ(w.boxes.size(), 1u);
    EXPECT_EQ(w.boxes[0].box.text, "Failed to set data for 'SubDir'");
    EXPECT_NE(settings.Find("Masks"), nullptr) << "values before the failing one are written";
    EXPECT_EQ(settings.Find("RenameDir"), nullptr);
    settings.unwritable.clear();
    w.Close();
    EXPECT_TRUE(w.closed);
}

TEST_F(FormTest, StoreThatCannotBeOpenedLetsTheWindowCloseQuietly) {
    FakeFormView& w = Open();
    settings.creatable = false;
    w.Close();
    EXPECT_TRUE(w.closed);
    EXPECT_TRUE(w.boxes.empty());
}

#ifndef _WIN32
// A stored folder whose name is not UTF-8 ("školní výlet" in Windows-1250, as an old run of the
// program under that code page stored it) and what the user does with the field before OK and
// closing. Only a host whose paths are bytes can hold such a folder.
enum class FieldAction { Keep, TypeOther, TypeAwayAndBack, PickOther };

struct HeldPathCase {
    const char* label;
    FieldAction action;
    bool renameDir;
    // The tree after OK: the stored folder's name and its file's, the other folder's file.
    std::string folder, file, otherFile;
    std::string stored;    // relative to the tree: the stored path
    bool missing = false;  // OK finds no such folder
};

const std::string kLegacyFolder = "\x9akoln\xed v\xfdlet";  // "školní výlet", Windows-1250
const std::string kLegacyShown = "školní výlet";

class HeldPath : public FormTest, public testing::WithParamInterface<HeldPathCase> {};

TEST_P(HeldPath, BytesStandForTheFieldUntilItChanges) {
    const HeldPathCase& c = GetParam();
    tree.Add(kLegacyFolder + "/");
    tree.AddFile(kLegacyFolder + "/Výlet.txt", "plán");
    tree.Add("jiná/");
    tree.AddFile("jiná/Čaj.txt", "čaj");
    settings.PutText("Path", Path(kLegacyFolder));
    settings.PutText("Masks", "*.*");
    FakeFormView& w = Open();
    ASSERT_TRUE(w.boxes.empty());
    EXPECT_EQ(w.Text(Control::ePath), Path(kLegacyShown)) << "the field reads the name";
    EXPECT_TRUE(w.Enabled(Control::bOK));
    switch (c.action) {
        case FieldAction::Keep:
            break;
        case FieldAction::TypeOther:
            w.Type(Control::ePath, Path("jiná"));
            break;
        case FieldAction::TypeAwayAndBack:
            w.Type(Control::ePath, Path(kLegacyShown) + "x");
            w.Type(Control::ePath, Path(kLegacyShown));
            break;
        case FieldAction::PickOther:
            w.pickerAnswer = Path("jiná");
            form->Button1Click();
            ASSERT_EQ(w.pickerStartedWith.size(), 1u);
            EXPECT_EQ(w.pickerStartedWith[0], Path(kLegacyFolder)) << "starts at the stored one";
            break;
    }
    if (c.renameDir) {
        w.Click(Control::cRenDir);
    }
    form->bOKClick();
    w.RunToEnd();
    ASSERT_EQ(w.boxes.size(), 1u);
    EXPECT_EQ(w.boxes[0].box.text, c.missing ? "Složka „" + Path(kLegacyShown) + "“ neexistuje."
                                             : "Přejmenováno:\r\r1 souborů\r" +
                                                   std::to_string(c.renameDir) + " adresářů");
    EXPECT_EQ(tree.Snapshot(),
              (std::map<std::string, std::string>{{c.folder + "/", ""},
                                                  {c.folder + "/" + c.file, "plán"},
                                                  {"jiná/", ""},
                                                  {"jiná/" + c.otherFile, "čaj"}}));
    w.Close();
    ASSERT_TRUE(w.closed);
    const std::string stored = Path(c.stored);
    std::vector<std::uint8_t> bytes(stored.begin(), stored.end());
    bytes.push_back(0);
    EXPECT_EQ(*settings.Find("Path"), (StoredValue{kRegSz, bytes}));
}

INSTANTIATE_TEST_SUITE_P(
    Actions, HeldPath,
    testing::Values(HeldPathCase{"KeptRunsThereAndStoresTheBytes", FieldAction::Keep, false,
                                 kLegacyFolder, "Vylet.txt", "Čaj.txt", kLegacyFolder},
                    HeldPathCase{"KeptFolderRenamedTooFieldFollows", FieldAction::Keep, true,
                                 "skolni vylet", "Vylet.txt", "Čaj.txt", "skolni vylet"},
                    HeldPathCase{"TypedOverRunsOnTheTypedFolder", FieldAction::TypeOther, false,
                                 kLegacyFolder, "Výlet.txt", "Caj.txt", "jiná"},
                    // The typed text is the user's own: no folder has that name in UTF-8, so OK
                    // only tells so and nothing is renamed.
                    HeldPathCase{"TypedBackIsTheTypedText", FieldAction::TypeAwayAndBack, false,
                                 kLegacyFolder, "Výlet.txt", "Čaj.txt", kLegacyShown, true},
                    HeldPathCase{"PickedRunsOnThePickedFolder", FieldAction::PickOther, false,
                                 kLegacyFolder, "Výlet.txt", "Caj.txt", "jiná"}),
    tovana::test::CaseLabel());

#endif

TEST(ErrorBoxText, FullStopOnlyAfterCharactersAboveIt) {
    EXPECT_EQ(tovana::ErrorBoxText("Unable to insert a line"), "Unable to insert a line.");
    EXPECT_EQ(tovana::ErrorBoxText("Invalid data type for 'SubDir'"),
              "Invalid data type for 'SubDir'");
    EXPECT_EQ(tovana::ErrorBoxText("Done."), "Done.");
    EXPECT_EQ(tovana::ErrorBoxText("(x)"), "(x)");
    EXPECT_EQ(tovana::ApplicationTitle("/usr/bin/TOVANA.exe.old"), "Tovana");
    EXPECT_EQ(tovana::ApplicationTitle("C:\\Program Files\\ŽLUŤÁK.EXE"), "Žluťák");
    EXPECT_EQ(tovana::AppVersionText(1, 2, 0, 18), "1.2.0 (18)");
}

struct PlaceCase {
    const char* label;
    tovana::ScreenRect available;
    int left, top;
};

class WindowPlace : public testing::TestWithParam<PlaceCase> {};

// A 401 x 470 window (the client area with a frame) at its designed corner.
TEST_P(WindowPlace, KeepsTheDesignedCornerUnlessTheScreenEndsFirst) {
    const PlaceCase& c = GetParam();
    const tovana::ScreenRect placed = tovana::PlaceOnScreen({871, 227, 401, 470}, c.available);
    EXPECT_EQ(placed, (tovana::ScreenRect{c.left, c.top, 401, 470}));
}

INSTANTIATE_TEST_SUITE_P(
    Screens, WindowPlace,
    testing::Values(PlaceCase{"FullHd", {0, 0, 1920, 1040}, 871, 227},
                    PlaceCase{"Xga", {0, 0, 1024, 738}, 623, 227},
                    PlaceCase{"HalfOfFullHdAtDoubleScale", {0, 0, 960, 510}, 559, 40},
                    PlaceCase{"SmallerThanTheWindow", {0, 0, 320, 240}, 0, 0},
                    PlaceCase{"PanelOnTheLeft", {1000, 300, 920, 780}, 1000, 300}),
    tovana::test::CaseLabel());

TEST(RowHeight, SixteenPixelsOrWhatTheTextNeeds) {
    EXPECT_EQ(tovana::RowHeight(13), 16);
    EXPECT_EQ(tovana::RowHeight(14), 16);
    EXPECT_EQ(tovana::RowHeight(20), 22);
}

TEST(Colours, BannerHeadingAndLinksAlwaysRead) {
    const tovana::Rgb white{255, 255, 255};
    const tovana::Rgb black{0, 0, 0};
    const tovana::Rgb dark{0x2a, 0x2a, 0x2a};
    // The usual scheme: white caption text, black heading.
    EXPECT_EQ(tovana::BannerBackground(white, white, black), white);
    // Black caption text (Wine, newer Windows) under a black heading: the window colour.
    EXPECT_EQ(tovana::BannerBackground(black, white, black), white);
    // A dark palette: white heading on the dark base, not on white caption text.
    EXPECT_EQ(tovana::BannerBackground(white, dark, white), dark);
    EXPECT_NEAR(tovana::ContrastRatio(black, white), 21.0, 0.01);
    // Links: the hot-light colour where it reads (classic Windows), blue where it does not
    // (Wine's pale hot-light colour on its light grey).
    const tovana::Rgb hotLight{0, 0x66, 0xcc};
    const tovana::Rgb face{0xf0, 0xf0, 0xf0};
    EXPECT_EQ(tovana::LinkColour(hotLight, face), hotLight);
    EXPECT_EQ(tovana::LinkColour({0xe0, 0xe0, 0xe0}, {0xf5, 0xf5, 0xf5}), (tovana::Rgb{0, 0, 255}));
    EXPECT_GE(tovana::ContrastRatio(tovana::LinkColour({0, 0, 0x80}, dark), dark), 4.5);
}

// ---- the result list's menu: preview, undo, copy, open folder ----

class ListMenuTest : public FormTest {
  protected:
    // A folder whose name and one file are renamed, and one file whose new name is taken.
    void Build() {
        for (const char* entry : {"Léto/č.txt", "Léto/ř ř.txt", "Léto/r r.txt"}) {
            tree.Add(entry);
        }
        FakeFormView& w = Open();
        w.Type(Control::ePath, Path("Léto"));
        w.Click(Control::cRenDir);
    }

    // A real run of the window's options, journaled, as the window's last run.
    void RunJournaled() {
        struct ToList : tovana::RunSink {
            explicit ToList(FakeFormView& w) : list(w) {}
            void Append(tovana::LogEntry&& entry) override {
                list.AppendRow(std::move(entry), false);
            }
            FakeFormView& list;
        } sink(*view);
        tovana::RunJournal journal(journalStore, sink, {"test", form->Options(), {}});
        tovana::RunCounters counters;
        tovana::Run(form->Options(), *fileSystem, journal, counters);
        journal.Finish(counters);
        ASSERT_FALSE(journal.error()) << journal.error().message();
        tovana::FormTestAccess::SetLastJournal(*form, journal.path());
    }

    std::map<tovana::MenuCommand, bool> Enabled() const {
        std::map<tovana::MenuCommand, bool> states;
        for (const tovana::MenuItem& item : form->lbMessageMenu()) {
            states[item.command] = item.enabled;
        }
        return states;
    }
};

using tovana::MenuCommand;

TEST_F(ListMenuTest, ItemsActOnlyWhereTheyCan) {
    FakeFormView& w = Open();
    using States = std::map<MenuCommand, bool>;
    EXPECT_EQ(Enabled(), (States{{MenuCommand::Preview, false},
                                 {MenuCommand::Undo, false},
                                 {MenuCommand::Copy, false},
                                 {MenuCommand::OpenFolder, false}}));
    tree.Add("č.txt");
    w.Type(Control::ePath, tree.path());
    form->bOKClick();
    view->RunToEnd();
    // The window's run is journaled, so it can be undone.
    EXPECT_EQ(Enabled(), (States{{MenuCommand::Preview, true},
                                 {MenuCommand::Undo, true},
                                 {MenuCommand::Copy, true},
                                 {MenuCommand::OpenFolder, false}}));
    w.selected = {0};
    tovana::FormTestAccess::SetLastJournal(*form, Path("run.log"));
    EXPECT_EQ(Enabled(), (States{{MenuCommand::Preview, true},
                                 {MenuCommand::Undo, true},
                                 {MenuCommand::Copy, true},
                                 {MenuCommand::OpenFolder, true}}));
    // A command whose item is greyed out does nothing, whichever way it comes.
    tovana::FormTestAccess::SetLastJournal(*form, "");
    w.boxes.clear();
    form->lbMessageCommand(MenuCommand::Undo);
    EXPECT_TRUE(w.boxes.empty());
}

TEST_F(ListMenuTest, CopyGivesTheSelectedRowsOrAllAsPathTabNewName) {
    Build();
    form->bOKClick();
    view->RunToEnd();
    ASSERT_EQ(view->list.size(), 3u);  // č.txt, ř ř.txt (fails), the folder
    std::string all;
    for (const tovana::ResultRow& row : view->list) {
        all += row.Entry.Path + "\t" + row.Entry.NewName + "\n";
    }
    form->lbMessageCommand(MenuCommand::Copy);
    EXPECT_EQ(view->clipboard, all);
    EXPECT_NE(all.find(Path("Léto/č.txt") + "\tc.txt\n"), std::string::npos) << all;
    view->selected = {2};
    form->lbMessageCommand(MenuCommand::Copy);
    EXPECT_EQ(view->clipboard, Path("Léto") + "\tLeto\n");
}

TEST_F(ListMenuTest, OpenFolderShowsTheFolderHoldingTheSelectedEntry) {
    Build();
    form->bOKClick();
    view->RunToEnd();
    view->selected = {0};
    form->lbMessageCommand(MenuCommand::OpenFolder);
    view->selected = {2};
    form->lbMessageCommand(MenuCommand::OpenFolder);
    EXPECT_EQ(view->shownFolders,
              (std::vector<std::string>{Path("Léto") + tovana::kFolderDelimiter,
                                        tree.path() + tovana::kFolderDelimiter}));
}

TEST_F(ListMenuTest, PreviewRenamesNothingAndMarksItsRows) {
    Build();
    const auto before = tree.Snapshot();
    form->lbMessageCommand(MenuCommand::Preview);
    EXPECT_TRUE(view->busy) << "on the worker, as a run";
    view->RunToEnd();
    EXPECT_EQ(tree.Snapshot(), before);
    ASSERT_EQ(view->list.size(), 3u);
    std::map<std::string, std::string> newNames;
    for (const tovana::ResultRow& row : view->list) {
        EXPECT_TRUE(row.Preview) << row.Entry.Path;
        newNames[row.Entry.Path] = row.Entry.NewName;
    }
    EXPECT_EQ(newNames[Path("Léto/č.txt")], "c.txt");
    EXPECT_EQ(view->list[1].Entry.Kind, rkFailed) << "the taken name is found without renaming";
    EXPECT_EQ(view->rows.back().path, Path("Léto")) << "the same rows as a real run";
    ASSERT_EQ(view->boxes.size(), 1u);
    EXPECT_EQ(view->boxes[0].box.text,
              "Přejmenováno:\r\r1 souborů\r1 adresářů\rNepřejmenováno by bylo: 1\r"
              "Náhled: nic nebylo přejmenováno.");
    EXPECT_FALSE(view->boxes[0].whileBusy);
    EXPECT_EQ(view->busyCount, 1);
    EXPECT_EQ(form->counters().FileCount, 0) << "a preview is not counted as a run";
    // A real run afterwards still renames and lists its rows unmarked.
    form->bOKClick();
    view->RunToEnd();
    ASSERT_EQ(view->list.size(), 6u);
    EXPECT_FALSE(view->list.back().Preview);
    EXPECT_NE(tree.Snapshot(), before);
}

TEST_F(ListMenuTest, UndoAsksThenPutsTheLastRunBack) {
    Build();
    tree.Add("Léto/Pod složka/ž.txt");
    view->Click(Control::cSubDir);
    const auto before = tree.Snapshot();
    RunJournaled();
    ASSERT_NE(tree.Snapshot(), before);
    const std::size_t rowsBefore = view->list.size();

    view->yesNoAnswer = tovana::BoxAnswer::No;
    form->lbMessageCommand(MenuCommand::Undo);
    ASSERT_EQ(view->boxes.size(), 1u);
    EXPECT_EQ(view->boxes[0].box.buttons, tovana::BoxButtons::YesNo);
    EXPECT_NE(view->boxes[0].box.text.find(Path("Léto")), std::string::npos)
        << "the question names the folder: " << view->boxes[0].box.text;
    EXPECT_TRUE(std::regex_search(view->boxes[0].box.text,
                                  std::regex("\rspuštěné [1-9][0-9]?\\. [1-9][0-9]?\\. "
                                             "20[0-9]{2} [0-9]{1,2}:[0-9]{2}\\?$")))
        << "the run's start in local time, as Czech users write it: " << view->boxes[0].box.text;
    EXPECT_NE(tree.Snapshot(), before) << "No leaves the run as it is";

    view->yesNoAnswer = tovana::BoxAnswer::Yes;
    form->lbMessageCommand(MenuCommand::Undo);
    view->RunToEnd();
    EXPECT_EQ(tree.Snapshot(), before);
    ASSERT_EQ(view->boxes.size(), 3u);
    EXPECT_EQ(view->boxes[2].box.text, "Přejmenováno:\r\r2 souborů\r2 adresářů");
    EXPECT_FALSE(view->boxes[2].whileBusy);
    // The undo's rows follow the run's, the chosen folder first (it gets its name back first).
    ASSERT_EQ(view->list.size(), rowsBefore + 4);
    EXPECT_EQ(view->list[rowsBefore].Entry.NewName, "Léto");
    EXPECT_FALSE(view->list.back().Preview);
    EXPECT_TRUE(form->LastJournal().empty()) << "a second Ctrl+Z must not redo the run";
    EXPECT_FALSE(Enabled()[MenuCommand::Undo]);
}

TEST_F(ListMenuTest, UndoThatCannotPutEverythingBackSaysHowMany) {
    Build();
    view->Click(Control::cRenDir);
    RunJournaled();
    tree.AddFile("Léto/č.txt", "new");  // the old name taken again meanwhile
    form->lbMessageCommand(MenuCommand::Undo);
    view->RunToEnd();
    ASSERT_EQ(view->boxes.size(), 2u);
    EXPECT_EQ(view->boxes[1].box.text, "Přejmenováno:\r\r0 souborů\r0 adresářů\rNevráceno zpět: 1");
    EXPECT_EQ(tree.Snapshot().at("Léto/č.txt"), "new") << "nothing overwritten";
    EXPECT_EQ(tree.Snapshot().at("Léto/c.txt"), "Léto/č.txt");

    // Put back in part, the run stays the one Ctrl+Z goes on with, once the way is clear.
    EXPECT_FALSE(form->LastJournal().empty());
    std::filesystem::rename(tree.root() / std::filesystem::u8path("Léto/č.txt"),
                            tree.root() / "new.txt");
    form->lbMessageCommand(MenuCommand::Undo);
    view->RunToEnd();
    ASSERT_EQ(view->boxes.size(), 4u);
    EXPECT_EQ(view->boxes[3].box.text, "Přejmenováno:\r\r1 souborů\r0 adresářů");
    EXPECT_EQ(tree.Snapshot().at("Léto/č.txt"), "Léto/č.txt");
    EXPECT_TRUE(form->LastJournal().empty());
}

TEST_F(ListMenuTest, DamagedJournalIsAnErrorAndRenamesNothing) {
    Build();
    tree.AddFile("damaged.log", "not a journal\n");
    tovana::FormTestAccess::SetLastJournal(*form, Path("damaged.log"));
    const auto before = tree.Snapshot();
    form->lbMessageCommand(MenuCommand::Undo);
    EXPECT_EQ(tree.Snapshot(), before);
    ASSERT_EQ(view->boxes.size(), 1u);
    EXPECT_EQ(view->boxes[0].box.icon, BoxIcon::Stop);
    EXPECT_NE(view->boxes[0].box.text.find("poškozený"), std::string::npos)
        << view->boxes[0].box.text;
    EXPECT_TRUE(view->list.empty());
}

enum class Operation { Run, Preview, Undo };

struct OperationCase {
    const char* label;
    Operation operation;
};

class OneOperationAtATime : public ListMenuTest, public testing::WithParamInterface<OperationCase> {
  protected:
    // Entries with names the rules would change, none of them ASCII.
    static int NotAscii(const std::map<std::string, std::string>& snapshot) {
        int count = 0;
        for (const auto& [name, content] : snapshot) {
            count += std::any_of(name.begin(), name.end(), [](char c) { return c & 0x80; });
        }
        return count;
    }
};

// While a run, a preview or an undo is under way, every other command is refused, however it
// comes: the start button, F5, Ctrl+Z, the menu, the picker. The tree ends as the operation
// alone leaves it, and the list holds only its rows.
TEST_P(OneOperationAtATime, RefusesEveryOtherCommand) {
    const Operation operation = GetParam().operation;
    AddRenamable(tree, 30);
    MakeSlow();
    FakeFormView& w = Open();
    w.Type(Control::ePath, tree.path());
    RunJournaled();  // the window's last run, so that Ctrl+Z has something to undo
    ASSERT_EQ(NotAscii(tree.Snapshot()), 0);
    for (int i = 0; i < 30; ++i) {
        tree.Add("ř" + std::to_string(1000 + i) + ".txt");  // for the run and the preview
    }
    const std::size_t rowsBefore = w.list.size();
    w.boxes.clear();
    w.pickerAnswer = Path("elsewhere");
    switch (operation) {
        case Operation::Run:
            form->bOKClick();
            break;
        case Operation::Preview:
            form->lbMessageCommand(MenuCommand::Preview);
            break;
        case Operation::Undo:
            form->lbMessageCommand(MenuCommand::Undo);
            break;
    }
    ASSERT_TRUE(form->Running());
    const std::size_t boxesAtStart = w.boxes.size();  // the undo's question
    int tried = 0;
    const auto tryOthers = [&] {
        if (!form->Running()) {
            return;
        }
        ++tried;
        for (const tovana::MenuItem& item : form->lbMessageMenu()) {
            EXPECT_FALSE(item.enabled) << item.text;
        }
        form->bOKClick();
        form->lbMessageCommand(MenuCommand::Preview);
        form->lbMessageCommand(MenuCommand::Undo);
        form->lbMessageCommand(MenuCommand::Copy);
        form->Button1Click();
        EXPECT_EQ(w.boxes.size(), boxesAtStart) << "no question, no summary of another";
    };
    tryOthers();
    w.RunToEnd(tryOthers);
    EXPECT_GT(tried, 0);
    EXPECT_TRUE(w.pickerStartedWith.empty());
    EXPECT_EQ(w.Text(Control::ePath), tree.path());
    EXPECT_TRUE(w.clipboard.empty());
    EXPECT_EQ(w.busyCount, 1);
    ASSERT_EQ(w.list.size(), rowsBefore + 30);
    for (std::size_t i = rowsBefore; i < w.list.size(); ++i) {
        EXPECT_EQ(w.list[i].Preview, operation == Operation::Preview);
    }
    const auto after = tree.Snapshot();
    switch (operation) {
        case Operation::Run:
            EXPECT_EQ(NotAscii(after), 0);
            break;
        case Operation::Preview:
            EXPECT_EQ(NotAscii(after), 30) << "only the new files, none renamed";
            break;
        case Operation::Undo:
            EXPECT_EQ(NotAscii(after), 60) << "the run put back, the new files as they were";
            break;
    }
    ASSERT_EQ(w.boxes.size(), boxesAtStart + 1);
    EXPECT_EQ(w.boxes.back().box.title, "Výsledek přejmenování");
}

INSTANTIATE_TEST_SUITE_P(Operations, OneOperationAtATime,
                         testing::Values(OperationCase{"Run", Operation::Run},
                                         OperationCase{"Preview", Operation::Preview},
                                         OperationCase{"Undo", Operation::Undo}),
                         tovana::test::CaseLabel());

// An undo stops like a run: Yes ends it after the rename under way, the rows tell what was put
// back, and the next undo puts back the rest.
TEST_F(ListMenuTest, UndoStopsAndTheNextOneFinishesIt) {
    AddRenamable(tree, 120);
    MakeSlow();
    FakeFormView& w = Open();
    w.Type(Control::ePath, tree.path());
    RunJournaled();
    ASSERT_EQ(LeftUnrenamed(tree), 0);
    const std::size_t rowsBefore = w.list.size();
    w.answers = {tovana::BoxAnswer::Yes, tovana::BoxAnswer::Yes};  // undo? yes; stop? yes
    form->lbMessageCommand(MenuCommand::Undo);
    bool asked = false;
    w.RunToEnd([&] {
        if (!asked && form->Running() && w.list.size() > rowsBefore) {
            asked = true;
            form->bCancelClick();
        }
    });
    ASSERT_TRUE(asked);
    ASSERT_GE(w.boxes.size(), 3u);
    EXPECT_EQ(w.boxes[1].box.text, "Přerušit vracení zpět?");
    const int putBack = LeftUnrenamed(tree);
    EXPECT_GT(putBack, 0);
    EXPECT_LT(putBack, 120);
    EXPECT_EQ(static_cast<int>(w.list.size() - rowsBefore), putBack);
    EXPECT_EQ(w.boxes.back().box.text.rfind("Přejmenování přerušeno.", 0), 0u)
        << w.boxes.back().box.text;
    EXPECT_FALSE(form->LastJournal().empty()) << "a stopped undo can go on";

    w.answers = {tovana::BoxAnswer::Yes};
    form->lbMessageCommand(MenuCommand::Undo);
    w.RunToEnd();
    EXPECT_EQ(LeftUnrenamed(tree), 120) << "the rest put back";
    EXPECT_TRUE(form->LastJournal().empty());
}

struct TooltipCase {
    const char* label;
    tovana::ResultKind kind;
    tovana::FailReason reason;
    bool preview;
    const char* text;
    const char* tooltip;
    const char* path = "/d/č.txt";  // the old path, as the run gives it
};

class RowTexts : public testing::TestWithParam<TooltipCase> {};

TEST_P(RowTexts, ShowTheNewNameAndWhyARenameFailed) {
    const TooltipCase& c = GetParam();
    const tovana::ResultRow row{{c.path, c.kind, "c.txt", c.reason, {}}, c.preview};
    EXPECT_EQ(tovana::RowText(row), c.text);
    EXPECT_EQ(tovana::RowTooltip(row), c.tooltip);
}

using tovana::FailReason;
INSTANTIATE_TEST_SUITE_P(
    Rows, RowTexts,
    testing::Values(
        TooltipCase{"Renamed", rkFileRenamed, FailReason::None, false, "/d/č.txt",
                    "Nový název: c.txt"},
        TooltipCase{"Preview", rkFileRenamed, FailReason::None, true, "/d/č.txt → c.txt",
                    "Nový název: c.txt\nNáhled: nic nebylo přejmenováno"},
        TooltipCase{"TargetExists", rkFailed, FailReason::TargetExists, false, "/d/č.txt",
                    "Nový název: c.txt\nNepřejmenováno: položka s novým názvem už existuje"},
        TooltipCase{"AccessDenied", rkFailed, FailReason::AccessDenied, false, "/d/č.txt",
                    "Nový název: c.txt\nNepřejmenováno: přístup byl odepřen"},
        TooltipCase{"NameTooLong", rkFailed, FailReason::NameTooLong, false, "/d/č.txt",
                    "Nový název: c.txt\nNepřejmenováno: nový název je příliš dlouhý"},
        TooltipCase{"InUse", rkFailed, FailReason::InUse, false, "/d/č.txt",
                    "Nový název: c.txt\nNepřejmenováno: položku používá jiný program"},
        TooltipCase{"NotFound", rkFailed, FailReason::NotFound, false, "/d/č.txt",
                    "Nový název: c.txt\nNepřejmenováno: položka už na svém místě není"},
        TooltipCase{"InvalidName", rkFailed, FailReason::InvalidName, false, "/d/č.txt",
                    "Nový název: c.txt\nNepřejmenováno: nový název je neplatný"},
        TooltipCase{"FolderUnreadable", rkFailed, FailReason::FolderUnreadable, false, "/d/č.txt",
                    "Nový název: c.txt\nNepřejmenováno: složku nelze přečíst"},
        TooltipCase{"Other", rkFailed, FailReason::Other, false, "/d/č.txt",
                    "Nový název: c.txt\nNepřejmenováno: jiná chyba systému"},
        TooltipCase{"PreviewCollision", rkFailed, FailReason::TargetExists, true,
                    "/d/č.txt → c.txt",
                    "Nový název: c.txt\nNepřejmenováno: položka s novým názvem už existuje\n"
                    "Náhled: nic nebylo přejmenováno"},
        // A name in Windows-1250 reads as its letters, not as broken UTF-8.
        TooltipCase{"LegacyName", rkFileRenamed, FailReason::None, true, "/d/č.txt → c.txt",
                    "Nový název: c.txt\nNáhled: nic nebylo přejmenováno", "/d/\xe8.txt"}),
    tovana::test::CaseLabel());

}  // namespace
