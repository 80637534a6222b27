// The window's behaviour, once for both windows: a form over a window in memory, a real
// temporary tree and an in-memory settings store.
#include <gtest/gtest.h>

#include <memory>

#include "form/Form.h"
#include "rename/Journal.h"
#include "rename/PathRules.h"
#include "rename/Platform.h"
#include "support/CaseLabel.h"
#include "support/FakeFormView.h"
#include "support/MemorySettingsStore.h"
#include "support/TempTree.h"

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

class FormTest : public testing::Test {
  protected:
    // Creates the window as the program does: FormCreate loads from `settings`.
    FakeFormView& Open() {
        view = std::make_unique<FakeFormView>();
        tovana::FormServices services;
        services.fileSystem = fileSystem.get();
        services.settings = &settings;
        services.journals = &journalStore;
        services.applicationTitle = "Tovana";
        services.version = "1.2.0 (18)";
        form = std::make_unique<tovana::Form>(*view, services);
        view->form = form.get();
        form->FormCreate();
        return *view;
    }

    std::string Path(const std::string& relative) { return tree.path(relative); }

    std::unique_ptr<tovana::FileSystem> fileSystem = tovana::MakeFileSystem();
    tovana::test::MemorySettingsStore settings;
    tovana::test::TempTree tree;
    std::unique_ptr<FakeFormView> view;
    std::unique_ptr<tovana::Form> form;
    tovana::test::TempTree journals;
    tovana::JournalStore journalStore{journals.path()};
};

TEST_F(FormTest, FirstStartShowsTheCreationValuesAndTheVersion) {
    FakeFormView& w = Open();
    EXPECT_EQ(w.caption, "Tovana  1.2.0 (18)");
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
    EXPECT_EQ(w.boxes[0].box.text, "Přejmenováno:\r\r1 souborů\r2 adresářů");
    EXPECT_EQ(w.boxes[0].box.icon, BoxIcon::None);
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
    tree.Add("ř.txt");
    form->bOKClick();
    ASSERT_EQ(w.rows.size(), 2u);
    EXPECT_EQ(w.rows[0].path, Path("č.txt"));
    EXPECT_EQ(w.rows[1].path, Path("ř.txt"));
    EXPECT_EQ(w.boxes.back().box.text, "Přejmenováno:\r\r1 souborů\r0 adresářů");
}

// The list refusing a row stops the run there: the rename is made and counted, the hourglass
// goes and the error box tells, without the summary.
TEST_F(FormTest, ListRefusingARowStopsTheRunWithTheErrorBox) {
    tree.Add("č.txt");
    tree.Add("ř.txt");
    FakeFormView& w = Open();
    w.rowLimit = 0;
    w.Type(Control::ePath, tree.path());
    form->bOKClick();
    EXPECT_FALSE(w.busy);
    ASSERT_EQ(w.boxes.size(), 1u);
    EXPECT_EQ(w.boxes[0].box.text, "Unable to insert a line.");
    EXPECT_EQ(w.boxes[0].box.title, "Tovana");
    EXPECT_EQ(w.boxes[0].box.icon, BoxIcon::Stop);
    EXPECT_FALSE(w.boxes[0].whileBusy);
    EXPECT_EQ(form->counters().FileCount, 1);
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
    EXPECT_EQ(w.caption, "Tovana  1.2.0 (18)");
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
            void Append(const tovana::LogEntry& entry) override { list.AppendRow(entry, false); }
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
    EXPECT_EQ(Enabled(), (States{{MenuCommand::Preview, true},
                                 {MenuCommand::Undo, false},
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
              "Přejmenováno:\r\r1 souborů\r1 adresářů\rNáhled: nic nebylo přejmenováno.");
    EXPECT_FALSE(view->boxes[0].whileBusy);
    EXPECT_EQ(view->busyCount, 1);
    EXPECT_EQ(form->counters().FileCount, 0) << "a preview is not counted as a run";
    // A real run afterwards still renames and lists its rows unmarked.
    form->bOKClick();
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
    EXPECT_NE(tree.Snapshot(), before) << "No leaves the run as it is";

    view->yesNoAnswer = tovana::BoxAnswer::Yes;
    form->lbMessageCommand(MenuCommand::Undo);
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
    ASSERT_EQ(view->boxes.size(), 2u);
    EXPECT_EQ(view->boxes[1].box.text, "Přejmenováno:\r\r0 souborů\r0 adresářů\rNevráceno zpět: 1");
    EXPECT_EQ(tree.Snapshot().at("Léto/č.txt"), "new") << "nothing overwritten";
    EXPECT_EQ(tree.Snapshot().at("Léto/c.txt"), "Léto/č.txt");
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

struct TooltipCase {
    const char* label;
    tovana::ResultKind kind;
    tovana::FailReason reason;
    bool preview;
    const char* text;
    const char* tooltip;
};

class RowTexts : public testing::TestWithParam<TooltipCase> {};

TEST_P(RowTexts, ShowTheNewNameAndWhyARenameFailed) {
    const TooltipCase& c = GetParam();
    const tovana::ResultRow row{{"/d/č.txt", c.kind, "c.txt", c.reason, {}}, c.preview};
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
                    "Náhled: nic nebylo přejmenováno"}),
    tovana::test::CaseLabel());

}  // namespace
