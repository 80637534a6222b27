// Runs over real trees holding names in legacy code pages, names a rule would hide, and a
// chosen folder whose own path is not UTF-8.
#include <gtest/gtest.h>

#include "journal/Escape.h"
#include "rename/FileSystemPosix.h"
#include "rename/RenameRun.h"
#include "support/RecordingSink.h"
#include "support/RunProgram.h"
#include "support/TempTree.h"

namespace {

using tovana::LegacyCodePage;
using tovana::RenameOptions;
using Tree = std::map<std::string, std::string>;

const std::string kCp1250 = "P\xf8\xedli\x9a \x9elu\x9dou\xe8k\xfd.txt";
const std::string kIso =
    "\xb9\xe1lek \xbe"
    "aby.txt";
const std::string kCp852 = "P\xfd\xa1li\xe7 \xa7lu\x9cou\x9fk\xec.txt";

class ChoiceSink : public tovana::test::RecordingSink {
  public:
    void LegacyChosen(LegacyCodePage codePage, std::size_t names) override {
        chosen.emplace_back(codePage, names);
    }
    std::vector<std::pair<LegacyCodePage, std::size_t>> chosen;
};

class LegacyRunTest : public testing::Test {
  protected:
    void Run(RenameOptions o) {
        if (o.Path.empty()) {
            o.Path = tree.path();
        }
        tovana::FileSystemPosix fileSystem(tovana::RealSyscalls());
        tovana::Run(o, fileSystem, sink, counters);
    }
    void AddFiles(std::initializer_list<std::string> names) {
        for (const std::string& name : names) {
            tree.AddFile(name, "content of " + name);
        }
        before = tovana::test::Contents(tree.root());
    }

    tovana::test::TempTree tree;
    ChoiceSink sink;
    tovana::RunCounters counters;
    std::multiset<std::string> before;
};

TEST_F(LegacyRunTest, EachCodePageComesOutAsPlainNames) {
    for (const auto& [name, code] :
         {std::pair{kCp1250, LegacyCodePage::Cp1250}, std::pair{kCp852, LegacyCodePage::Cp852}}) {
        tovana::test::TempTree single;
        single.AddFile(name, "x");
        RenameOptions o;
        o.Path = single.path();
        ChoiceSink s;
        tovana::FileSystemPosix fileSystem(tovana::RealSyscalls());
        tovana::Run(o, fileSystem, s, counters);
        EXPECT_EQ(single.Snapshot(), (Tree{{"Prilis zlutoucky.txt", "x"}}));
        EXPECT_EQ(s.chosen, (std::vector{std::pair{code, std::size_t{1}}}));
    }
}

TEST_F(LegacyRunTest, MixedTreeWithSubfoldersAndCollisions) {
    tree.Add(
        "\xe8"
        "aj/");              // cp1250 "čaj"
    tree.Add("\xb9\xedp/");  // ISO "šíp"
    AddFiles(
        {"\xe8"
         "aj/" +
             kCp1250,
         "\xe8"
         "aj/" +
             kCp852,
         "\xb9\xedp/" + kIso, "\xb9\xedp/\xa9\xedp.txt", "ok.txt"});
    RenameOptions o;
    o.SubDir = true;
    o.RenameDir = true;
    Run(o);
    // Both spellings of the sentence want one name: one gets it, the other fails and stays.
    const Tree after = tree.Snapshot();
    EXPECT_EQ(after.count("caj/Prilis zlutoucky.txt"), 1u);
    EXPECT_EQ(after.count("caj/" + kCp1250) + after.count("caj/" + kCp852), 1u);
    EXPECT_EQ(after.count("sip/salek zaby.txt"), 1u);
    EXPECT_EQ(after.count("sip/Sip.txt"), 1u) << testing::PrintToString(after);
    EXPECT_EQ(tovana::test::Contents(tree.root()), before);
    EXPECT_EQ(counters.DirCount, 2);
    EXPECT_EQ(counters.FileCount, 3);
    ASSERT_EQ(sink.chosen.size(), 1u);
    EXPECT_EQ(sink.chosen[0].second, 6u);
}

TEST_F(LegacyRunTest, NoneKeepsTheBytes) {
    AddFiles({kCp1250, "ž.txt"});
    RenameOptions o;
    o.Legacy = LegacyCodePage::None;
    Run(o);
    EXPECT_EQ(tree.Snapshot(),
              (Tree{{kCp1250, "content of " + kCp1250}, {"z.txt", "content of ž.txt"}}));
    EXPECT_TRUE(sink.chosen.empty());
}

TEST_F(LegacyRunTest, ChosenFolderWhosePathIsNotUtf8) {
    // The folder is "šálek" in ISO 8859-2, its file the sentence in CP852: the run reads in
    // CP852, and the folder's own name, a jumble there, takes its own best.
    tree.Add("\xb9\xe1lek/");
    tree.AddFile("\xb9\xe1lek/" + kCp852, "x");
    RenameOptions o;
    o.Path = tree.path("\xb9\xe1lek");
    o.RenameDir = true;
    Run(o);
    EXPECT_EQ(tree.Snapshot(), (Tree{{"salek/", ""}, {"salek/Prilis zlutoucky.txt", "x"}}));
    ASSERT_EQ(sink.rows.size(), 2u);
    EXPECT_EQ(sink.rows[0].path, tree.path("\xb9\xe1lek/" + kCp852));
    EXPECT_EQ(sink.chosen, (std::vector{std::pair{LegacyCodePage::Cp852, std::size_t{2}}}));
}

TEST_F(LegacyRunTest, VisibleNamesNeverBecomeHidden) {
    AddFiles({" .bashrc", "_.jpg", ".config-x.json", "a b.txt"});
    RenameOptions o;
    o.RemoveSpace = true;
    o.RemoveUnderline = true;
    o.NonAlphaNum = true;
    Run(o);
    EXPECT_EQ(tree.Snapshot(), (Tree{{" .bashrc", "content of  .bashrc"},
                                     {"_.jpg", "content of _.jpg"},
                                     {".configx.json", "content of .config-x.json"},
                                     {"ab.txt", "content of a b.txt"}}));
    int refused = 0;
    for (const auto& row : sink.rows) {
        refused += row.kind == tovana::rkFailed;
    }
    EXPECT_EQ(refused, 2);
}

TEST_F(LegacyRunTest, CommandLineShowsTheChoiceAndNoneKeepsTodaysOutput) {
    AddFiles({kCp852});
    const auto dry = tovana::test::RunProgram(TOVANA_CLI_PATH, {"-n", tree.path()});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_NE(dry.err.find("1 name not in UTF-8, read as cp852"), std::string::npos) << dry.err;
    // Rows escape the bytes 0x80-0x9F that are not UTF-8, as terminals take them for controls.
    EXPECT_NE(dry.out.find("file\t" + tree.path() + "/" + tovana::EscapeField(kCp852) +
                           "\tPrilis zlutoucky.txt\n"),
              std::string::npos);
    const auto none = tovana::test::RunProgram(TOVANA_CLI_PATH, {"--legacy", "none", tree.path()});
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "Přejmenováno:\n\n0 souborů\n0 adresářů\n");
    EXPECT_EQ(none.err, "");
    const auto bad = tovana::test::RunProgram(TOVANA_CLI_PATH, {"--legacy", "cp1252", tree.path()});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(tree.Snapshot(), (Tree{{kCp852, "content of " + kCp852}}));
}

}  // namespace
