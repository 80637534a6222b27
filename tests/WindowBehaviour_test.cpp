// What the window does when used: interlocks, the start button, the picker, a run, links.
#include <gtest/gtest.h>

#include <QPainter>
#include <QStyleOptionViewItem>
#include <QTest>

#include "support/WindowFixture.h"
#include "ui/SelectFolder.h"

namespace {

using tovana::rkDirRenamed;
using tovana::rkFailed;
using tovana::rkFileRenamed;
using tovana::test::WindowFixture;
using Tree = std::map<std::string, std::string>;

class WindowBehaviour : public WindowFixture {};

TEST_F(WindowBehaviour, ReplacingSpacesGreysOutItsPartnersAndBack) {
    Open();
    ui().cRemSpace->setChecked(true);
    ui().cReplSpace->click();
    EXPECT_FALSE(ui().cRemSpace->isEnabled());
    EXPECT_FALSE(ui().cReplUndr->isEnabled());
    EXPECT_TRUE(ui().cRemUndr->isEnabled());
    EXPECT_TRUE(ui().cRemSpace->isChecked()) << "greying out keeps the check";
    EXPECT_FALSE(tovana::OptionsFromControls(*window).RemoveSpace);
    ui().cReplSpace->click();
    EXPECT_TRUE(ui().cRemSpace->isEnabled());
    EXPECT_TRUE(ui().cReplUndr->isEnabled());
    EXPECT_TRUE(tovana::OptionsFromControls(*window).RemoveSpace);
}

TEST_F(WindowBehaviour, ReplacingUnderscoresGreysOutItsPartnersAndBack) {
    Open();
    ui().cReplUndr->click();
    EXPECT_FALSE(ui().cRemUndr->isEnabled());
    EXPECT_FALSE(ui().cReplSpace->isEnabled());
    EXPECT_TRUE(ui().cRemSpace->isEnabled());
    ui().cReplUndr->click();
    EXPECT_TRUE(ui().cRemUndr->isEnabled());
    EXPECT_TRUE(ui().cReplSpace->isEnabled());
}

TEST_F(WindowBehaviour, StartButtonFollowsTheFolderFieldWhileTyping) {
    Open();
    ShowActive();
    ui().ePath->setFocus();
    QTest::keyClick(ui().ePath, Qt::Key_X);
    EXPECT_TRUE(ui().bOK->isEnabled());
    QTest::keyClick(ui().ePath, Qt::Key_Backspace);
    EXPECT_FALSE(ui().bOK->isEnabled());
}

TEST_F(WindowBehaviour, ConfirmedPickFillsTheFieldAndMovesTheFocus) {
    Open();
    ShowActive();
    ui().ePath->setText("typed");
    pickerAnswer = QString::fromStdString(tree.path());
    ui().Button1->click();
    EXPECT_EQ(pickerStartedWith, std::vector<QString>{"typed"});
    EXPECT_EQ(ui().ePath->text(), pickerAnswer);
    EXPECT_EQ(QApplication::focusWidget(), ui().cSubDir);
}

TEST_F(WindowBehaviour, CancelledPickLeavesTheFieldButMovesTheFocus) {
    Open();
    ShowActive();
    ui().ePath->setText("/kept");
    ui().Button1->click();
    EXPECT_EQ(ui().ePath->text(), "/kept");
    EXPECT_EQ(QApplication::focusWidget(), ui().cSubDir);
}

TEST(FolderPicker, StartsAtAnExistingFolderElseAtTheTopAndClearsTheStart) {
    tovana::test::TempTree tree;
    tree.Add("file.txt");
    QString existing = QString::fromStdString(tree.path());
    EXPECT_EQ(PickerStartFolder("", existing), QString::fromStdString(tree.path()));
    EXPECT_EQ(existing, QString::fromStdString(tree.path()));
    for (QString start : {QString::fromStdString(tree.path("missing")),
                          QString::fromStdString(tree.path("file.txt")), QString("")}) {
        EXPECT_EQ(PickerStartFolder("", start), "/");
        EXPECT_TRUE(start.isEmpty());
    }
    QString none;
    EXPECT_EQ(PickerStartFolder("/usr", none), "/usr");
    EXPECT_EQ(ChosenFolderPath("/usr/share/"), "/usr/share");
    EXPECT_EQ(ChosenFolderPath("/"), "/");
}

TEST_F(WindowBehaviour, RunFromOkRenamesListsAndSummarises) {
    for (const char* entry : {"Á/Ě/č.txt", "Á/C.txt", "Á/Č.txt", "Á/keep.txt"}) {
        tree.Add(entry);
    }
    Open();
    ShowActive();
    ui().ePath->setText(QString::fromStdString(tree.path("Á")));
    ui().cSubDir->setChecked(true);
    ui().cRenDir->setChecked(true);
    ui().bOK->click();
    const std::string root = tree.path("Á") + "/";
    ResultLogModel& log = window->resultLog();
    ASSERT_EQ(log.rowCount(), 4);
    std::map<QString, int> kinds;
    for (int row = 0; row < log.rowCount(); ++row) {
        kinds[log.index(row).data().toString()] =
            log.index(row).data(ResultLogModel::KindRole).toInt();
    }
    const std::map<QString, int> expected = {
        {QString::fromStdString(root + "Ě/č.txt"), rkFileRenamed},
        {QString::fromStdString(root + "Ě"), rkDirRenamed},
        {QString::fromStdString(root + "Č.txt"), rkFailed},
        {QString::fromStdString(tree.path("Á")), rkDirRenamed}};
    EXPECT_EQ(kinds, expected);
    EXPECT_EQ(log.index(3).data().toString(), QString::fromStdString(tree.path("Á")))
        << "the chosen folder comes last";
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, "Výsledek přejmenování");
    EXPECT_EQ(messages[0].text, "Přejmenováno:\n\n1 souborů\n2 adresářů");
    EXPECT_FALSE(messages[0].isError);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the wait cursor must go";
    EXPECT_EQ(ui().lbMessage->currentIndex().isValid(), false) << "appending selects nothing";
    EXPECT_EQ(tree.Snapshot(), (Tree{{"A/", ""},
                                     {"A/C.txt", "Á/C.txt"},
                                     {"A/Č.txt", "Á/Č.txt"},
                                     {"A/E/", ""},
                                     {"A/E/c.txt", "Á/Ě/č.txt"},
                                     {"A/keep.txt", "Á/keep.txt"}}));
}

TEST_F(WindowBehaviour, TwoRunsKeepBothRunsRowsFirstOnTop) {
    tree.Add("č.txt");
    Open();
    ui().ePath->setText(QString::fromStdString(tree.path()));
    ui().bOK->click();
    tree.Add("ř.txt");
    ui().bOK->click();
    ASSERT_EQ(window->resultLog().rowCount(), 2);
    EXPECT_TRUE(window->resultLog().index(0).data().toString().endsWith("č.txt"));
    EXPECT_TRUE(window->resultLog().index(1).data().toString().endsWith("ř.txt"));
    EXPECT_EQ(messages.back().text, "Přejmenováno:\n\n1 souborů\n0 adresářů");
}

class ExplodingFileSystem : public tovana::FileSystemPosix {
  public:
    std::error_code ReadEntries(tovana::Folder&, tovana::EntryList&) override {
        throw std::runtime_error("Unable to insert a line");
    }
};

TEST_F(WindowBehaviour, ErrorDuringARunRestoresTheCursorAndShowsTheErrorBox) {
    Open();
    ExplodingFileSystem exploding;
    TovanaServices services;
    services.fileSystem = &exploding;
    services.settings = &settings;
    services.showMessage = [this](const QString& title, const QString& text, bool isError) {
        messages.push_back({title, text, isError});
    };
    window = std::make_unique<TfTovana>(services);
    ui().ePath->setText(QString::fromStdString(tree.path()));
    ui().bOK->click();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Unable to insert a line.");
    EXPECT_TRUE(messages[0].isError);
}

TEST_F(WindowBehaviour, LinksHandTheirAddressesToTheDesktop) {
    Open();
    ui().lAuthor->clicked();
    ui().lWeb->clicked();
    ASSERT_EQ(urls.size(), 2u);
    EXPECT_EQ(urls[0].toString(QUrl::FullyEncoded),
              "mailto:podpora@korvel.example?Subject=Pripominky%20k%20Tovana");
    EXPECT_EQ(urls[1].toString(), "http://www.korvel.example");
}

TEST_F(WindowBehaviour, RowsAreDrawnWithPictureTextAndHighlight) {
    Open();
    window->resultLog().Append("/tmp/x", rkFailed);
    QImage image(200, 16, QImage::Format_ARGB32);
    QStyleOptionViewItem option;
    option.initFrom(ui().lbMessage);
    option.rect = QRect(0, 0, 200, 16);
    option.state = QStyle::State_Enabled | QStyle::State_Selected;
    {
        QPainter painter(&image);
        window->lbMessageDrawItem(&painter, option, window->resultLog().index(0));
    }
    // The red disc at left + 2, the highlight behind the rest of the row.
    EXPECT_EQ(image.pixelColor(2 + 3, 7), QColor(Qt::red));
    EXPECT_EQ(image.pixelColor(199, 0), option.palette.color(QPalette::Highlight));
    EXPECT_EQ(image.pixelColor(0, 0), option.palette.color(QPalette::Highlight));
}

TEST(ErrorBoxText, FullStopOnlyAfterCharactersAboveIt) {
    EXPECT_EQ(tovana::ErrorBoxText("Unable to insert a line"), "Unable to insert a line.");
    EXPECT_EQ(tovana::ErrorBoxText("Invalid data type for 'SubDir'"),
              "Invalid data type for 'SubDir'");
    EXPECT_EQ(tovana::ErrorBoxText("Done."), "Done.");
    EXPECT_EQ(tovana::ApplicationTitle("/usr/bin/TOVANA.exe.old"), "Tovana");
    EXPECT_EQ(tovana::AppVersionText(1, 2, 0, 18), "1.2.0 (18)");
}

}  // namespace
