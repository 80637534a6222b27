// The Qt window started on a folder: from the command line (the program itself for what ends
// before a window) and by a folder dropped on it.
#include <gtest/gtest.h>

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "form/StartArguments.h"
#include "support/CaseLabel.h"
#include "support/RunProgram.h"
#include "support/WindowFixture.h"

namespace {

using tovana::test::ProgramResult;
using tovana::test::RunProgram;
using tovana::test::WindowFixture;
using Tree = std::map<std::string, std::string>;

class StartWindow : public WindowFixture {
  protected:
    // The remembered folder and the one the user names, each with a name to clean.
    void SetUp() override {
        tree.AddFile("Uložená/Žluť.txt", "u");
        tree.AddFile("Zadaná/Čaj.txt", "z");
        tree.AddFile("Zadaná/Soubor.txt", "s");
        settings.PutText("Path", tree.path("Uložená"));
        settings.PutText("Masks", "*.*");
    }

    // A drop as the desktop delivers it: entering, then the drop, at the folder field.
    bool Drop(QMimeData& data) {
        const QPointF at = ui().ePath->mapTo(window.get(), QPointF(5, 5));
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &enter);
        if (!enter.isAccepted()) {
            return false;
        }
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &drop);
        return true;
    }

    void PressOk() {
        ui().bOK->click();
        WaitForRun();
    }

    const Tree onlyGivenRenamed{{"Uložená/", ""},
                                {"Uložená/Žluť.txt", "u"},
                                {"Zadaná/", ""},
                                {"Zadaná/Caj.txt", "z"},
                                {"Zadaná/Soubor.txt", "s"}};
    const Tree untouched{{"Uložená/", ""},
                         {"Uložená/Žluť.txt", "u"},
                         {"Zadaná/", ""},
                         {"Zadaná/Čaj.txt", "z"},
                         {"Zadaná/Soubor.txt", "s"}};
};

TEST_F(StartWindow, GivenFolderFillsTheFieldAndOkRenamesThereOnly) {
    TfTovana& w = Open();
    ShowActive();
    // As the program reads "Tovana Zadaná" started in the tree.
    const tovana::StartRequest request = tovana::ReadStartArguments({"Zadaná"});
    w.form().StartIn(tovana::AbsoluteStartPath(request.folder, tree.path()));
    EXPECT_EQ(ui().ePath->text().toStdString(), tree.path("Zadaná"));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(tree.Snapshot(), untouched) << "nothing runs before OK";
    PressOk();
    EXPECT_EQ(tree.Snapshot(), onlyGivenRenamed);
    // The field's folder is remembered when the window closes, as a chosen one is.
    EXPECT_TRUE(w.close());
    const std::string path = tree.path("Zadaná");
    std::vector<std::uint8_t> bytes(path.begin(), path.end());
    bytes.push_back(0);
    EXPECT_EQ(*settings.Find("Path"), (tovana::StoredValue{tovana::kRegSz, bytes}));
}

TEST_F(StartWindow, GivenUrlOfAFolderNotInUtf8RunsThere) {
    const std::string legacy = "\x9akoln\xed";  // "školní" in an old code page
    tree.AddFile(legacy + "/Výlet.txt", "v");
    Open();
    ShowActive();
    const tovana::StartRequest request =
        tovana::ReadStartArguments({"file://" + tree.path() + "/%9Akoln%ED"});
    window->form().StartIn(tovana::AbsoluteStartPath(request.folder, "/"));
    EXPECT_EQ(ui().ePath->text().toStdString(), tree.path("školní"));
    PressOk();
    EXPECT_EQ(tree.Snapshot().count(legacy + "/Vylet.txt"), 1u);
    EXPECT_EQ(tree.Snapshot().count("Uložená/Žluť.txt"), 1u);
}

TEST_F(StartWindow, GivenPathThatIsNotAFolderStaysWithTheErrorOkWouldGive) {
    Open();
    ShowActive();
    const std::string file = tree.path("Zadaná/Čaj.txt");
    window->form().StartIn(file);
    EXPECT_EQ(ui().ePath->text().toStdString(), file);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].isError);
    const QString started = messages[0].text;
    PressOk();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].text, started);
    EXPECT_EQ(started.toStdString(), "„" + file + "“ není adresář.");
    EXPECT_EQ(tree.Snapshot(), untouched);
}

TEST_F(StartWindow, DroppedFolderFillsTheFieldAndOkRenamesThereOnly) {
    Open();
    ShowActive();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(tree.path("Zadaná")))});
    ASSERT_TRUE(Drop(data));
    EXPECT_EQ(ui().ePath->text().toStdString(), tree.path("Zadaná"));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(tree.Snapshot(), untouched) << "nothing runs on a drop";
    PressOk();
    EXPECT_EQ(tree.Snapshot(), onlyGivenRenamed);
}

TEST_F(StartWindow, DroppedFileOrSeveralItemsAreExplainedAndChangeNothing) {
    Open();
    ShowActive();
    const QString file = QString::fromStdString(tree.path("Zadaná/Čaj.txt"));
    const QString folder = QString::fromStdString(tree.path("Zadaná"));
    struct {
        QList<QUrl> urls;
        std::string text;
    } const cases[] = {
        {{QUrl::fromLocalFile(file)},
         "„" + file.toStdString() + "“ není adresář.\rAdresář se nezměnil."},
        {{QUrl::fromLocalFile(folder), QUrl::fromLocalFile(file)},
         "Přetáhněte sem jen jeden adresář, ne 2 položek.\rAdresář se nezměnil."},
    };
    for (const auto& c : cases) {
        messages.clear();
        QMimeData data;
        data.setUrls(c.urls);
        ASSERT_TRUE(Drop(data));
        EXPECT_EQ(ui().ePath->text().toStdString(), tree.path("Uložená"));
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text.toStdString(), c.text);
    }
    EXPECT_EQ(tree.Snapshot(), untouched);
}

struct CommandLineCase {
    const char* label;
    std::vector<std::string> arguments;
    int status;
    std::string outStart;
    std::string err;
};

const CommandLineCase kCommandLines[] = {
    {"Help", {"--help"}, 0, "Použití: Tovana [SLOŽKA]\n", ""},
    {"Version", {"--version"}, 0, "Tovana 1.2.0.18\n", ""},
    {"UnknownOption",
     {"--bogus"},
     2,
     "",
     "Tovana: neznámá volba „--bogus“\nNápovědu vypíše: Tovana --help\n"},
    {"TwoFolders",
     {"/tmp", "/"},
     2,
     "",
     "Tovana: zadejte nejvýše jednu složku, zadáno je 2\nNápovědu vypíše: Tovana --help\n"},
};

class WindowCommandLine : public testing::TestWithParam<CommandLineCase> {};

// These end before any window (a window would wait for the user: the test would time out).
TEST_P(WindowCommandLine, EndsWithoutAWindow) {
    const CommandLineCase& c = GetParam();
    const ProgramResult r = RunProgram(TOVANA_WINDOW_PATH, c.arguments);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out.substr(0, c.outStart.size()), c.outStart);
    EXPECT_EQ(r.err, c.err);
}

INSTANTIATE_TEST_SUITE_P(Cases, WindowCommandLine, testing::ValuesIn(kCommandLines),
                         tovana::test::CaseLabel());

}  // namespace
