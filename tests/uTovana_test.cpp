// The Qt window as a view: its controls and layout, keys, focus, drawing, boxes and how its
// widgets reach the form. What the form decides is tested once, in Form_test.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTimer>

#include "TovanaVersion.h"
#include "support/CaseLabel.h"
#include "support/WindowFixture.h"
#include "ui/qt/SelectFolder.h"

namespace {

using tovana::test::WindowFixture;

struct ControlCase {
    const char* label;
    const char* kind;
    const char* parent;
    QRect geometry;
    QString caption;
};

const ControlCase kControls[] = {
    {"Panel1", "QFrame", "fTovana", {0, 0, 393, 41}, ""},
    {"Label4",
     "QLabel",
     "Panel1",
     {8, 6, 329, 13},
     "Utilita pro odstranění diakritiky z jmen souborů a adresářů"},
    {"Bevel1", "QFrame", "fTovana", {0, 41, 393, 9}, ""},
    {"GroupBox1", "QGroupBox", "fTovana", {8, 48, 377, 113}, ""},
    {"Label1", "QLabel", "GroupBox1", {16, 19, 40, 13}, "Adresář:"},
    {"ePath", "QLineEdit", "GroupBox1", {96, 16, 241, 21}, ""},
    {"Button1", "QPushButton", "GroupBox1", {336, 16, 21, 21}, "..."},
    {"cSubDir", "QCheckBox", "GroupBox1", {96, 40, 241, 17}, "Včetně podadresářů"},
    {"Label2", "QLabel", "GroupBox1", {16, 67, 67, 13}, "Typy souborů:"},
    {"eMask", "QLineEdit", "GroupBox1", {96, 64, 241, 21}, "*.*"},
    {"Label3", "QLabel", "GroupBox1", {96, 88, 123, 13}, "Např:   *.JPG;*.BMP;*.GIF"},
    {"GroupBox3", "QGroupBox", "fTovana", {8, 168, 233, 145}, "Nastavení"},
    {"cRenDir", "QCheckBox", "GroupBox3", {8, 16, 169, 17}, "Přejmenovat i adresáře"},
    {"cReplSpace", "QCheckBox", "GroupBox3", {8, 40, 169, 17}, "Nahradit mezery podtržítkem"},
    {"cNonAlphaNum",
     "QCheckBox",
     "GroupBox3",
     {8, 56, 209, 17},
     "Nealfanumerické znaky podtržítkem"},
    {"cRemUndr", "QCheckBox", "GroupBox3", {8, 80, 177, 17}, "Odstranit podtržítka"},
    {"cReplUndr", "QCheckBox", "GroupBox3", {8, 96, 169, 17}, "Nahradit podtržítka mezerami"},
    {"cRemSpace", "QCheckBox", "GroupBox3", {8, 120, 177, 17}, "Odstranit mezery"},
    {"GroupBox2", "QGroupBox", "fTovana", {248, 168, 137, 73}, "Velikost písmen"},
    {"rNoChangeName", "QRadioButton", "GroupBox2", {8, 16, 113, 17}, "Beze změny"},
    {"rUpperName", "QRadioButton", "GroupBox2", {8, 32, 121, 17}, "Na velká písmena"},
    {"rLowerName", "QRadioButton", "GroupBox2", {8, 48, 121, 17}, "Na malá písmena"},
    {"lbMessage", "QListView", "fTovana", {8, 320, 377, 84}, ""},
    {"Label5", "QLabel", "fTovana", {16, 411, 28, 13}, "Autor:"},
    {"bOK", "QPushButton", "fTovana", {216, 408, 75, 25}, "&OK"},
    {"bCancel", "QPushButton", "fTovana", {304, 408, 75, 25}, "&Storno"},
};

QString CaptionOf(const QWidget* w) {
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        return label->text();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
        return button->text();
    }
    if (const auto* edit = qobject_cast<const QLineEdit*>(w)) {
        return edit->text();
    }
    if (const auto* box = qobject_cast<const QGroupBox*>(w)) {
        return box->title();
    }
    return "";
}

class WindowLayout : public WindowFixture, public testing::WithParamInterface<ControlCase> {};

TEST_P(WindowLayout, ControlStandsWhereDesigned) {
    const ControlCase& c = GetParam();
    TfTovana& w = Open();
    const auto* control = w.findChild<QWidget*>(c.label);
    ASSERT_NE(control, nullptr);
    EXPECT_TRUE(control->inherits(c.kind)) << control->metaObject()->className();
    EXPECT_EQ(control->parentWidget()->objectName(), c.parent);
    const bool grows = qobject_cast<const QLabel*>(control) != nullptr ||
                       qobject_cast<const QCheckBox*>(control) != nullptr ||
                       qobject_cast<const QRadioButton*>(control) != nullptr;
    if (grows) {
        // Captions keep their place and grow to their text where the font needs it.
        EXPECT_EQ(control->pos(), c.geometry.topLeft());
        EXPECT_EQ(control->height(), c.geometry.height());
        EXPECT_GE(control->width(), c.geometry.width());
        EXPECT_GE(control->width(), control->sizeHint().width()) << "caption cut off";
        EXPECT_LE(control->geometry().right(), control->parentWidget()->width())
            << "caption out of its group";
    } else {
        EXPECT_EQ(control->geometry(), c.geometry);
    }
    EXPECT_EQ(CaptionOf(control), c.caption);
}

INSTANTIATE_TEST_SUITE_P(Controls, WindowLayout, testing::ValuesIn(kControls),
                         tovana::test::CaseLabel());

class WindowTest : public WindowFixture {};

TEST_F(WindowTest, FirstStartShowsTheCreationValues) {
    TfTovana& w = Open();
    EXPECT_EQ(w.windowTitle().toStdString(),
              "Tovana  " + tovana::AppVersionText(TOVANA_VERSION_MAJOR, TOVANA_VERSION_MINOR,
                                                  TOVANA_VERSION_PATCH, TOVANA_VERSION_BUILD));
    EXPECT_EQ(w.size(), QSize(393, 441));
    EXPECT_EQ(w.minimumSize(), w.maximumSize()) << "the window must not be resizable";
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(w.pos(), QPoint(871, 227));
    EXPECT_TRUE(ui().ePath->text().isEmpty());
    EXPECT_FALSE(ui().bOK->isEnabled());
    EXPECT_TRUE(ui().bOK->isDefault());
    EXPECT_EQ(ui().eMask->text(), "*.*");
    for (QCheckBox* box : {ui().cSubDir, ui().cRenDir, ui().cReplSpace, ui().cNonAlphaNum,
                           ui().cRemUndr, ui().cReplUndr, ui().cRemSpace}) {
        EXPECT_FALSE(box->isChecked()) << box->objectName().toStdString();
        EXPECT_TRUE(box->isEnabled()) << box->objectName().toStdString();
    }
    EXPECT_TRUE(ui().rNoChangeName->isChecked());
    EXPECT_EQ(QFontMetrics(w.font()).height(), 13);
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(settings.key.has_value()) << "loading must not create the store";
}

TEST_F(WindowTest, LinksSizeThemselvesFromTheirLeftEdges) {
    Open();
    for (QLabel* link : {static_cast<QLabel*>(ui().lAuthor), static_cast<QLabel*>(ui().lWeb)}) {
        EXPECT_EQ(link->width(), link->sizeHint().width());
        EXPECT_TRUE(link->font().underline());
        EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    }
    EXPECT_EQ(ui().lAuthor->x(), 56);
    EXPECT_EQ(ui().lWeb->x(), 112);
}

TEST_F(WindowTest, ListShowsFiveWholeRowsAndScrollsOnlyVertically) {
    TfTovana& w = Open();
    ShowActive();
    EXPECT_EQ(ui().lbMessage->viewport()->height(), 5 * 16);
    for (int i = 0; i < 5; ++i) {
        w.resultLog().Append({"/tmp/row " + std::to_string(i), tovana::rkFileRenamed, "", {}, {}},
                             false);
    }
    QApplication::processEvents();
    EXPECT_FALSE(ui().lbMessage->verticalScrollBar()->isVisible());
    w.resultLog().Append({std::string(300, 'x'), tovana::rkFailed, "", {}, {}}, false);
    QApplication::processEvents();
    EXPECT_TRUE(ui().lbMessage->verticalScrollBar()->isVisible());
    EXPECT_FALSE(ui().lbMessage->horizontalScrollBar()->isVisible());
    EXPECT_EQ(ui().lbMessage->visualRect(w.resultLog().index(1)).height(), 16);
}

TEST_F(WindowTest, MaskFieldShowsUpperCaseWhateverComesIn) {
    Open();
    ShowActive();
    ui().eMask->clear();
    ui().eMask->setFocus();
    QTest::keyClicks(ui().eMask, "*.jpg;*.ß");
    EXPECT_EQ(ui().eMask->text(), "*.JPG;*.ß");
    ui().eMask->setText("*.čsv");
    EXPECT_EQ(ui().eMask->text(), "*.ČSV");
    QApplication::clipboard()->setText("*.gif");
    ui().eMask->end(false);
    ui().eMask->paste();
    EXPECT_EQ(ui().eMask->text(), "*.ČSV*.GIF");
}

std::vector<QString> WalkFocus(int steps, bool backwards) {
    std::vector<QString> names;
    for (int i = 0; i < steps; ++i) {
        QTest::keyClick(QApplication::focusWidget(), backwards ? Qt::Key_Backtab : Qt::Key_Tab,
                        backwards ? Qt::ShiftModifier : Qt::NoModifier);
        names.push_back(QApplication::focusWidget()->objectName());
    }
    return names;
}

TEST_F(WindowTest, TabWalksTheDesignedOrderSkippingDisabledControls) {
    Open();
    ShowActive();
    ASSERT_EQ(QApplication::focusWidget(), ui().ePath);
    // bOK is disabled while the folder is empty; of the radios only the selected one stops.
    const std::vector<QString> forwards = {
        "Button1",       "cSubDir",   "eMask",      "bCancel",      "lbMessage",
        "rNoChangeName", "cRenDir",   "cReplSpace", "cNonAlphaNum", "cRemUndr",
        "cReplUndr",     "cRemSpace", "ePath"};
    EXPECT_EQ(WalkFocus(13, false), forwards);
    std::vector<QString> backwards(forwards.rbegin() + 1, forwards.rend());
    backwards.push_back("ePath");
    EXPECT_EQ(WalkFocus(13, true), backwards);

    ui().ePath->setText("/tmp");
    ui().rLowerName->setChecked(true);
    ui().cReplSpace->setChecked(true);  // greys out cReplUndr and cRemSpace
    ui().ePath->setFocus();
    const std::vector<QString> changed = {"Button1",    "cSubDir",      "eMask",      "bOK",
                                          "bCancel",    "lbMessage",    "rLowerName", "cRenDir",
                                          "cReplSpace", "cNonAlphaNum", "cRemUndr",   "ePath"};
    EXPECT_EQ(WalkFocus(12, false), changed);
}

TEST_F(WindowTest, EnterClicksTheFocusedButtonElseOk) {
    Open();
    ShowActive();
    QSignalSpy ok(ui().bOK, &QPushButton::clicked);
    QSignalSpy picker(ui().Button1, &QPushButton::clicked);

    ui().cSubDir->setFocus();
    QTest::keyClick(ui().cSubDir, Qt::Key_Return);
    EXPECT_EQ(ok.count(), 0) << "Enter must do nothing while OK is disabled";

    ui().ePath->setText(QString::fromStdString(tree.path()));
    ui().cSubDir->setFocus();
    QTest::keyClick(ui().cSubDir, Qt::Key_Return);
    EXPECT_EQ(ok.count(), 1);
    WaitForRun();
    QTest::keyClick(ui().cSubDir, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(ok.count(), 1) << "Shift+Enter must not act";

    ui().Button1->setFocus();
    QTest::keyClick(ui().Button1, Qt::Key_Return);
    EXPECT_EQ(picker.count(), 1);
    EXPECT_EQ(ok.count(), 1);
    ui().Button1->setFocus();
    QTest::keyClick(ui().Button1, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(picker.count(), 1);
}

// Enter with the focus on each kind of control: a push button clicks itself, anything else
// clicks OK.
TEST_F(WindowTest, EnterInEveryFocusSituation) {
    Open();
    ShowActive();
    ui().ePath->setText(QString::fromStdString(tree.path()));
    QSignalSpy ok(ui().bOK, &QPushButton::clicked);
    QSignalSpy cancel(ui().bCancel, &QPushButton::clicked);
    QSignalSpy picker(ui().Button1, &QPushButton::clicked);
    struct Situation {
        QWidget* focus;
        QSignalSpy* expected;
    };
    for (const Situation& s :
         {Situation{ui().ePath, &ok}, Situation{ui().eMask, &ok}, Situation{ui().cRenDir, &ok},
          Situation{ui().rNoChangeName, &ok}, Situation{ui().lbMessage, &ok},
          Situation{ui().bOK, &ok}, Situation{ui().Button1, &picker}}) {
        const int before = s.expected->count();
        s.focus->setFocus();
        QTest::keyClick(s.focus, Qt::Key_Return);
        WaitForRun();
        EXPECT_EQ(s.expected->count(), before + 1) << s.focus->objectName().toStdString();
        EXPECT_TRUE(window->isVisible());
    }
    ui().bCancel->setFocus();
    QTest::keyClick(ui().bCancel, Qt::Key_Return);
    EXPECT_EQ(cancel.count(), 1);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(WindowTest, EscClosesThroughCancelWhereverTheFocusIs) {
    Open();
    ShowActive();
    QSignalSpy cancel(ui().bCancel, &QPushButton::clicked);
    ui().eMask->setFocus();
    QTest::keyClick(ui().eMask, Qt::Key_Escape, Qt::ShiftModifier);
    EXPECT_EQ(cancel.count(), 0);
    EXPECT_TRUE(window->isVisible());
    QTest::keyClick(ui().eMask, Qt::Key_Escape);
    EXPECT_EQ(cancel.count(), 1);
    EXPECT_FALSE(window->isVisible());
    ASSERT_TRUE(settings.key.has_value()) << "closing must save";
}

TEST_F(WindowTest, PicturesAreTheThreeResultKinds) {
    TfTovana& w = Open();
    for (int kind = 0; kind < 3; ++kind) {
        EXPECT_EQ(w.picture(kind).size(), QSize(16, 16));
        EXPECT_TRUE(w.picture(kind).hasAlphaChannel());
    }
    const QImage folder = w.picture(tovana::rkDirRenamed).toImage();
    const QImage failed = w.picture(tovana::rkFailed).toImage();
    EXPECT_EQ(folder.pixelColor(3, 6), QColor(Qt::yellow));
    EXPECT_EQ(folder.pixelColor(4, 6), QColor(Qt::white));
    EXPECT_EQ(failed.pixelColor(3, 7), QColor(Qt::red));
    EXPECT_EQ(failed.pixelColor(7, 7), QColor(Qt::white));
    EXPECT_EQ(failed.pixelColor(0, 0).alpha(), 0);
    const QImage page = w.picture(tovana::rkFileRenamed).toImage();
    EXPECT_EQ(page.pixelColor(4, 4).alpha(), 0) << "the page is clear inside";
    EXPECT_EQ(page.pixelColor(2, 4), QColor(Qt::black));
}

TEST_F(WindowTest, GrabsTheWindowAfterARun) {
    tree.Add("Léto/Žluťoučký kůň.txt");
    tree.Add("C.txt");
    tree.Add("Č.txt");
    settings.PutText("Path", tree.path());
    settings.PutText("Masks", "*.*");
    settings.PutFlag("SubDir", true);
    settings.PutFlag("RenameDir", true);
    TfTovana& w = Open();
    ShowActive();
    ui().bOK->click();
    WaitForRun();
    ASSERT_EQ(w.resultLog().rowCount(), 3);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the wait cursor must go";
    EXPECT_FALSE(ui().lbMessage->currentIndex().isValid()) << "appending selects nothing";
    const QString file = QString(TOVANA_BUILD_DIR) + "/tovana-window.png";
    EXPECT_TRUE(w.grab().save(file));
    std::printf("window picture: %s\n", file.toStdString().c_str());
}

// Run by its own test entry on a 144 dpi screen; at 96 pixels per inch there is nothing to
// scale and the layout tests above cover the window.
TEST_F(WindowTest, OtherResolutionsScaleEverythingButRowsAndPictures) {
    TfTovana& w = Open();
    if (w.logicalDpiY() == 96) {
        GTEST_SKIP() << "scaling is checked at 144 dpi by its own test entry";
    }
    const int textHeight = QFontMetrics(w.font()).height();
    ASSERT_NE(textHeight, 13);
    const double ratio = textHeight / 13.0;
    EXPECT_EQ(w.width(), qRound(393 * ratio));
    EXPECT_EQ(w.height(), qRound(441 * ratio));
    EXPECT_EQ(ui().GroupBox3->geometry(), QRect(qRound(8 * ratio), qRound(168 * ratio),
                                                qRound(233 * ratio), qRound(145 * ratio)));
    EXPECT_EQ(ui().cRemSpace->pos(), QPoint(qRound(8 * ratio), qRound(120 * ratio)));
    ShowActive();
    w.resultLog().Append({"/x", tovana::rkFailed, "", {}, {}}, false);
    QApplication::processEvents();
    // A row is 16 pixels, or as high as its text needs (underscores must not vanish).
    const int rowHeight = ui().lbMessage->visualRect(w.resultLog().index(0)).height();
    EXPECT_GE(rowHeight, 16);
    EXPECT_GE(rowHeight, QFontMetrics(ui().lbMessage->font()).height() + 2);
    EXPECT_EQ(ui().lbMessage->viewport()->height() % rowHeight, 0)
        << "the list keeps to whole rows";
    EXPECT_EQ(w.picture(0).size(), QSize(16, 16));
    // Captions grow with the font and stay inside their group.
    for (QAbstractButton* box : w.findChildren<QAbstractButton*>()) {
        if (qobject_cast<QPushButton*>(box) == nullptr) {
            EXPECT_GE(box->width(), box->sizeHint().width()) << box->objectName().toStdString();
            EXPECT_LE(box->geometry().right(), box->parentWidget()->width())
                << box->objectName().toStdString();
        }
    }
}

// The widgets' own signals reach the form's handlers, by mouse and keyboard alike.
TEST_F(WindowTest, WidgetsReachTheFormHandlers) {
    tree.Add("č.txt");
    TfTovana& w = Open();
    ShowActive();
    ui().ePath->setFocus();
    QTest::keyClick(ui().ePath, Qt::Key_X);
    EXPECT_TRUE(ui().bOK->isEnabled()) << "typing runs ePathChange";
    QTest::keyClick(ui().ePath, Qt::Key_Backspace);
    EXPECT_FALSE(ui().bOK->isEnabled());
    ui().cReplSpace->click();
    EXPECT_FALSE(ui().cRemSpace->isEnabled()) << "a click runs cReplSpaceClick";
    ui().cReplUndr->setChecked(false);
    ui().cReplSpace->click();
    ui().cReplUndr->click();
    EXPECT_FALSE(ui().cRemUndr->isEnabled()) << "a click runs cReplUndrClick";
    ui().cReplUndr->click();

    pickerAnswer = QString::fromStdString(tree.path());
    ui().Button1->click();
    EXPECT_EQ(ui().ePath->text(), pickerAnswer);
    EXPECT_EQ(QApplication::focusWidget(), ui().cSubDir);

    ui().bOK->click();
    WaitForRun();
    ASSERT_EQ(w.resultLog().rowCount(), 1);
    EXPECT_EQ(w.resultLog().index(0).data(ResultLogModel::KindRole).toInt(), tovana::rkFileRenamed);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, "Výsledek přejmenování");

    ui().lAuthor->clicked();
    ui().lWeb->clicked();
    ASSERT_EQ(urls.size(), 2u);
    EXPECT_EQ(urls[0].toString(QUrl::FullyEncoded),
              "mailto:podpora@korvel.example?Subject=Pripominky%20k%20Tovana");
    EXPECT_EQ(urls[1].toString(), "http://www.korvel.example");
}

// A stored folder whose name is not UTF-8 ("školní výlet" in Windows-1250): the field and the
// list read it, Enter runs there, and closing stores its bytes back, whatever Qt's own text
// makes of bytes that are not UTF-8.
TEST_F(WindowTest, StoredFolderNotInUtf8ShowsReadablyRunsThereAndIsStoredBack) {
    const std::string folder = "\x9akoln\xed v\xfdlet";
    tree.Add(folder + "/");
    tree.AddFile(folder + "/Výlet.txt", "plán");
    settings.PutText("Path", tree.path(folder));
    settings.PutText("Masks", "*.*");
    TfTovana& w = Open();
    ShowActive();
    EXPECT_EQ(ui().ePath->text().toStdString(), tree.path("školní výlet"));
    QTest::keyClick(ui().ePath, Qt::Key_Return);
    WaitForRun();
    EXPECT_EQ(tree.Snapshot(), (std::map<std::string, std::string>{
                                   {folder + "/", ""}, {folder + "/Vylet.txt", "plán"}}));
    ASSERT_EQ(w.resultLog().rowCount(), 1);
    EXPECT_EQ(w.resultLog().index(0).data(Qt::DisplayRole).toString().toStdString(),
              tree.path("školní výlet/Výlet.txt"));
    // "Otevřít složku" hands the file manager the folder's own bytes.
    ui().lbMessage->setCurrentIndex(w.resultLog().index(0));
    w.form().lbMessageCommand(tovana::MenuCommand::OpenFolder);
    ASSERT_EQ(urls.size(), 1u);
    // (The temporary folder's own name is plain ASCII.)
    EXPECT_EQ(urls[0].toEncoded().toStdString(),
              "file://" + tree.path() + "/%9Akoln%ED%20v%FDlet/");
    // With nothing installed that opens a folder, a box says so instead of nothing happening.
    const std::size_t shown = messages.size();
    urlsOpen = false;
    w.form().lbMessageCommand(tovana::MenuCommand::OpenFolder);
    ASSERT_EQ(messages.size(), shown + 1);
    EXPECT_TRUE(messages.back().isError);
    EXPECT_NE(messages.back().text.indexOf("xdg-utils"), -1) << messages.back().text.toStdString();
    EXPECT_TRUE(w.close());
    const std::string path = tree.path(folder);
    std::vector<std::uint8_t> bytes(path.begin(), path.end());
    bytes.push_back(0);
    EXPECT_EQ(*settings.Find("Path"), (tovana::StoredValue{tovana::kRegSz, bytes}));
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

TEST_F(WindowTest, RowsAreDrawnWithPictureTextAndHighlight) {
    Open();
    window->resultLog().Append({"/tmp/x", tovana::rkFileRenamed, "", {}, {}}, false);
    QImage image(200, 16, QImage::Format_ARGB32);
    QStyleOptionViewItem option;
    option.initFrom(ui().lbMessage);
    option.rect = QRect(0, 0, 200, 16);
    option.state = QStyle::State_Enabled | QStyle::State_Selected;
    {
        QPainter painter(&image);
        window->lbMessageDrawItem(&painter, option, window->resultLog().index(0));
    }
    const QColor highlight = option.palette.color(QPalette::Highlight);
    // The page's outline at left + 2, its clear inside showing the highlight.
    EXPECT_EQ(image.pixelColor(2 + 2, 4), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(2 + 4, 4), highlight) << "the page must be clear inside";
    EXPECT_EQ(image.pixelColor(199, 0), highlight);
    EXPECT_EQ(image.pixelColor(0, 0), highlight);
}

// The focused list without a current row frames its first row, as the native list does.
TEST_F(WindowTest, FocusedListWithoutACurrentRowShowsTheFocus) {
    Open();
    ShowActive();
    const QImage unfocused = ui().lbMessage->viewport()->grab().toImage();
    ui().lbMessage->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(ui().lbMessage->hasFocus());
    ASSERT_FALSE(ui().lbMessage->currentIndex().isValid());
    const QImage focused = ui().lbMessage->viewport()->grab().toImage();
    int changed = 0;
    for (int x = 0; x < focused.width(); ++x) {
        for (int y = 0; y < window->rowHeight(); ++y) {
            changed += focused.pixel(x, y) != unfocused.pixel(x, y) ? 1 : 0;
        }
    }
    EXPECT_GT(changed, focused.width()) << "no focus frame on the empty list";
}

// With a dark palette the heading must still read on the banner.
TEST_F(WindowTest, BannerHeadingAndLinksReadOnLightAndDarkPalettes) {
    const QPalette light = QApplication::palette();
    QPalette dark = light;
    dark.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Base, QColor(0x2a, 0x2a, 0x2a));
    dark.setColor(QPalette::Text, Qt::white);
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::Link, QColor(0, 0, 0x80));
    for (const QPalette& palette : {light, dark}) {
        QApplication::setPalette(palette);
        TfTovana& w = Open();
        const QColor background = ui().Panel1->palette().color(QPalette::Window);
        const QColor heading = ui().Label4->palette().color(QPalette::WindowText);
        const double contrast =
            tovana::ContrastRatio({background.red(), background.green(), background.blue()},
                                  {heading.red(), heading.green(), heading.blue()});
        EXPECT_GE(contrast, 4.5) << background.name().toStdString() << " under "
                                 << heading.name().toStdString();
        const QColor link = ui().lWeb->palette().color(QPalette::WindowText);
        const QColor face = w.palette().color(QPalette::Window);
        EXPECT_GE(tovana::ContrastRatio({link.red(), link.green(), link.blue()},
                                        {face.red(), face.green(), face.blue()}),
                  4.5)
            << "link " << link.name().toStdString();
    }
    QApplication::setPalette(light);
}

// The real box: over the window, modal for the whole program, wide enough for its title.
TEST_F(WindowTest, BoxesOpenOverTheWindowModalForTheProgram) {
    TovanaServices services;
    services.settings = &settings;
    services.fileSystem = &fileSystem;
    window = std::make_unique<TfTovana>(services);
    ShowActive();
    QRect boxGeometry;
    QWidget* boxParent = nullptr;
    Qt::WindowModality modality = Qt::NonModal;
    int titleWidth = 0;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            return;
        }
        boxGeometry = box->frameGeometry();
        boxParent = box->parentWidget();
        modality = box->windowModality();
        titleWidth = QFontMetrics(box->font()).horizontalAdvance(box->windowTitle());
        box->accept();
    });
    window->ShowBox({"Výsledek přejmenování", "Přejmenováno:\r\r0 souborů\r0 adresářů"});
    EXPECT_EQ(boxParent, window.get());
    EXPECT_EQ(modality, Qt::ApplicationModal);
    EXPECT_LE((boxGeometry.center() - window->frameGeometry().center()).manhattanLength(), 4)
        << "the box opens centred over the window";
    EXPECT_GT(boxGeometry.width(), titleWidth + 60) << "the title must not be cut";
}

// A run on its thread: rows reach the list through posted calls while it goes on, the controls
// are greyed out and take no keys or clicks meanwhile, the wait cursor shows, and Esc asks
// whether to stop; Yes stops it with a summary that says so. The cancel button, live and with
// the focus, and the close button ask the same and the window stays. Afterwards the controls
// and the focus are as before.
TEST_F(WindowTest, RunKeepsTheWindowAliveRefusesInputAndStopsOnEsc) {
    for (int i = 0; i < 150; ++i) {
        tree.Add("č" + std::to_string(1000 + i) + ".txt");
    }
    slow = std::make_unique<tovana::SlowFileSystem>(fileSystem, std::chrono::milliseconds(3));
    settings.PutText("Path", tree.path());
    settings.PutText("Masks", "*.*");
    TfTovana& w = Open();
    ShowActive();
    const QString caption = w.windowTitle();
    answers = {tovana::BoxAnswer::No, tovana::BoxAnswer::No, tovana::BoxAnswer::Yes};
    ASSERT_TRUE(ui().ePath->hasFocus());
    ui().bOK->click();
    ASSERT_TRUE(w.form().Running());
    bool triedInput = false;
    bool closed = false;
    WaitForRun([&] {
        if (triedInput || w.resultLog().rowCount() == 0 || !w.form().Running()) {
            return;
        }
        triedInput = true;
        EXPECT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_TRUE(w.windowTitle().contains("přejmenováno")) << w.windowTitle().toStdString();
        const QString path = ui().ePath->text();
        QTest::keyClick(ui().ePath, Qt::Key_X);
        QTest::mouseClick(ui().cSubDir, Qt::LeftButton);
        QTest::mouseClick(ui().bOK, Qt::LeftButton);
        EXPECT_EQ(ui().ePath->text(), path) << "keys are swallowed";
        EXPECT_FALSE(ui().cSubDir->isChecked()) << "clicks are swallowed";
        for (QWidget* control :
             {static_cast<QWidget*>(ui().ePath), static_cast<QWidget*>(ui().cSubDir),
              static_cast<QWidget*>(ui().bOK), static_cast<QWidget*>(ui().Button1)}) {
            EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
        }
        EXPECT_TRUE(ui().bCancel->isEnabled());
        EXPECT_TRUE(ui().bCancel->hasFocus());
        QTest::mouseClick(ui().bCancel, Qt::LeftButton);  // asked, answered No
        EXPECT_EQ(messages.size(), 1u) << "the cancel button asks";
        EXPECT_TRUE(w.form().Running());
        closed = w.close();  // asked, answered No: the run goes on
        EXPECT_FALSE(closed);
        EXPECT_TRUE(w.form().Running());
        QTest::keyClick(ui().cSubDir, Qt::Key_Escape);  // asked, answered Yes
    });
    ASSERT_TRUE(triedInput);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(w.windowTitle(), caption);
    ASSERT_EQ(messages.size(), 4u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(messages[i].text, "Přerušit přejmenování?");
    }
    EXPECT_TRUE(messages[3].text.startsWith("Přejmenování přerušeno."))
        << messages[3].text.toStdString();
    EXPECT_TRUE(ui().ePath->isEnabled());
    EXPECT_TRUE(ui().bOK->isEnabled());
    EXPECT_TRUE(ui().ePath->hasFocus()) << "the focus goes back where it was";
    const int rows = w.resultLog().rowCount();
    EXPECT_GT(rows, 0);
    EXPECT_LT(rows, 150);
    EXPECT_EQ(w.form().counters().FileCount, rows);

    // The window answers as before once the run is over.
    QTest::keyClick(ui().ePath, Qt::Key_End);
    QTest::keyClick(ui().ePath, Qt::Key_X);
    EXPECT_TRUE(ui().ePath->text().endsWith("x"));
}

// During a run the list takes new rows at a pace, holding some back; those come by themselves

// F5 and Ctrl+Z during a run, with the focus where the run puts it (the cancel button) or on
// the list: neither a preview nor an undo starts, and the run goes on alone to its end.
TEST_F(WindowTest, PreviewAndUndoKeysDuringARunAreRefused) {
    tovana::test::TempTree journalFolder;
    tovana::JournalStore store(journalFolder.path());
    journals = &store;
    tree.Add("č.txt");
    slow = std::make_unique<tovana::SlowFileSystem>(fileSystem, std::chrono::milliseconds(3));
    settings.PutText("Path", tree.path());
    settings.PutText("Masks", "*.*");
    TfTovana& w = Open();
    ShowActive();
    ui().bOK->click();
    WaitForRun();  // a first run, so that Ctrl+Z has something to undo
    ASSERT_EQ(messages.size(), 1u);
    ASSERT_FALSE(w.form().LastJournal().empty());
    for (int i = 0; i < 100; ++i) {
        tree.Add("ř" + std::to_string(1000 + i) + ".txt");
    }
    ui().bOK->click();
    ASSERT_TRUE(w.form().Running());
    bool tried = false;
    WaitForRun([&] {
        if (tried || w.resultLog().rowCount() < 2 || !w.form().Running()) {
            return;
        }
        tried = true;
        ASSERT_TRUE(ui().bCancel->hasFocus());
        QTest::keyClick(ui().bCancel, Qt::Key_F5);
        QTest::keyClick(ui().bCancel, Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(ui().lbMessage, Qt::Key_F5);
        QTest::keyClick(ui().lbMessage, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(messages.size(), 1u) << "no question, no summary of another";
        EXPECT_TRUE(w.form().Running());
    });
    ASSERT_TRUE(tried);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].text, "Přejmenováno:\r\r100 souborů\r0 adresářů");
    ASSERT_EQ(w.resultLog().rowCount(), 101);
    for (int i = 0; i < w.resultLog().rowCount(); ++i) {
        EXPECT_FALSE(w.resultLog().index(i).data(ResultLogModel::PreviewRole).toBool()) << i;
    }
    const auto after = tree.Snapshot();
    EXPECT_EQ(after.count("c.txt"), 1u) << "the first run was not undone";
    EXPECT_EQ(after.count("r1000.txt"), 1u);
    EXPECT_EQ(after.size(), 101u);
}

// soon after, even when the run sends no more, and all of them once the run is over.
TEST_F(WindowTest, RowsHeldBackDuringARunComeWithoutMoreRows) {
    TfTovana& w = Open();
    ShowActive();
    w.SetBusy(true);
    int appended = 0;
    const auto batch = [&](int rows) {
        for (int i = 0; i < rows; ++i) {
            w.AppendRow(
                {"/tmp/row " + std::to_string(appended++), tovana::rkFileRenamed, "", {}, {}},
                false);
        }
        w.RowsAppended();
    };
    batch(3);
    EXPECT_EQ(w.resultLog().rowCount(), 3) << "the first rows at once";
    batch(2);
    batch(4);
    QElapsedTimer waited;
    waited.start();
    while (w.resultLog().rowCount() < appended && waited.elapsed() < 2000) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    EXPECT_EQ(w.resultLog().rowCount(), appended) << "held rows came by themselves";
    EXPECT_EQ(w.resultLog().index(8).data().toString(), "/tmp/row 8") << "in their order";
    batch(5);
    w.SetBusy(false);
    EXPECT_EQ(w.resultLog().rowCount(), appended) << "all of them once the run is over";
}

// A question whose Yes would start something opens with No as its default button.
TEST_F(WindowTest, QuestionThatStartsARunDefaultsToNo) {
    TovanaServices services;
    services.settings = &settings;
    services.fileSystem = &fileSystem;
    window = std::make_unique<TfTovana>(services);
    ShowActive();
    for (const bool defaultNo : {true, false}) {
        QString defaultText;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) {
                return;
            }
            defaultText = box->defaultButton() != nullptr ? box->defaultButton()->text() : "";
            QTest::keyClick(box, Qt::Key_Return);
        });
        tovana::Box box{"Tovana", "?", tovana::BoxIcon::None, tovana::BoxButtons::YesNo, defaultNo};
        const tovana::BoxAnswer answer = window->ShowBox(box);
        EXPECT_EQ(answer, defaultNo ? tovana::BoxAnswer::No : tovana::BoxAnswer::Yes);
        EXPECT_FALSE(defaultText.isEmpty());
    }
}

// Run by its own test entry on a 1024 x 768 screen: the window moves just enough to be whole.
TEST_F(WindowTest, WindowLiesWhollyOnTheScreen) {
    TfTovana& w = Open();
    ShowActive();
    const QRect available = w.screen()->availableGeometry();
    if (available.width() >= 871 + w.frameGeometry().width()) {
        GTEST_SKIP() << "checked on a small screen by its own test entry";
    }
    EXPECT_TRUE(available.contains(w.frameGeometry())) << "window off the screen";
    EXPECT_EQ(w.frameGeometry().right(), available.right()) << "moved more than needed";
    EXPECT_EQ(w.frameGeometry().top(), 227);
}

}  // namespace

// The result list's menu comes up however the user asks for it, and its keys act in the list.
TEST_F(WindowTest, ListMenuOpensByMouseAndKeysAndItsKeysAct) {
    tree.Add("č.txt");
    Open();
    ShowActive();
    ui().ePath->setText(QString::fromStdString(tree.path()));
    ui().bOK->click();
    WaitForRun();
    ASSERT_EQ(window->resultLog().rowCount(), 1);
    TResultList* list = ui().lbMessage;
    list->setFocus();
    QApplication::processEvents();

    const QPoint row = list->visualRect(window->resultLog().index(0)).center();
    // Through the window, as the platform delivers it: the toolkit turns it into a menu event.
    QTest::mouseClick(window->windowHandle(), Qt::RightButton, {},
                      list->viewport()->mapTo(window.get(), row));
    EXPECT_EQ(menus.size(), 1u) << "right click";
    QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(menus.size(), 2u) << "Shift+F10";
    QTest::keyClick(list, Qt::Key_Menu);
    EXPECT_EQ(menus.size(), 3u) << "the menu key";
    // The right click made the row current, so its folder can be opened.
    const QStringList expected = {"Náhled", "Vrátit zpět poslední přejmenování (off)", "Kopírovat",
                                  "Otevřít složku"};
    for (const QStringList& menu : menus) {
        EXPECT_EQ(menu, expected) << menu.join(" | ").toStdString();
    }

    const QString copied = QString::fromStdString(tree.path("č.txt") + "\tc.txt\n");
    list->clearSelection();
    QApplication::clipboard()->clear();
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), copied);
    QApplication::clipboard()->clear();
    menuChoice = "Kopírovat";
    QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), copied);

    // F5 previews from anywhere in the window.
    ui().ePath->setFocus();
    QApplication::processEvents();
    tree.Add("ř.txt");
    QTest::keyClick(ui().ePath, Qt::Key_F5);
    WaitForRun();  // the preview goes on the worker, as a run
    ASSERT_EQ(window->resultLog().rowCount(), 2);
    const QModelIndex preview = window->resultLog().index(1);
    EXPECT_TRUE(preview.data(ResultLogModel::PreviewRole).toBool());
    EXPECT_EQ(preview.data().toString(), QString::fromStdString(tree.path("ř.txt") + " → r.txt"));
    EXPECT_EQ(preview.data(Qt::ToolTipRole).toString(),
              "Nový název: r.txt\nNáhled: nic nebylo přejmenováno");
    ASSERT_FALSE(messages.empty());
    EXPECT_TRUE(messages.back().text.endsWith("Náhled: nic nebylo přejmenováno."));
    EXPECT_EQ(tree.Snapshot().count("ř.txt"), 1u);
}

int Distance(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
           std::abs(a.blue() - b.blue());
}

// A preview's row is drawn in the greyed text colour, a real row in the normal one.
TEST_F(WindowTest, PreviewRowsAreDrawnGreyed) {
    Open();
    const auto drawn = [this](int index) {
        QImage image(200, 16, QImage::Format_ARGB32);
        QStyleOptionViewItem option;
        option.initFrom(ui().lbMessage);
        option.rect = QRect(0, 0, 200, 16);
        option.state = QStyle::State_Enabled;
        QPainter painter(&image);
        window->lbMessageDrawItem(&painter, option, window->resultLog().index(index));
        painter.end();
        // The text's ink: the pixel farthest from the background.
        const QColor base = ui().lbMessage->palette().color(QPalette::Base);
        QColor ink = base;
        for (int x = 20; x < 200; ++x) {
            for (int y = 0; y < 16; ++y) {
                if (Distance(image.pixelColor(x, y), base) > Distance(ink, base)) {
                    ink = image.pixelColor(x, y);
                }
            }
        }
        return ink;
    };
    window->resultLog().Append({"/tmp/xxxx", tovana::rkFileRenamed, "x", {}, {}}, false);
    window->resultLog().Append({"/tmp/xxxx", tovana::rkFileRenamed, "x", {}, {}}, true);
    const QPalette colours = ui().lbMessage->palette();
    const QColor text = colours.color(QPalette::Text);
    const QColor grey = colours.color(QPalette::Disabled, QPalette::Text);
    ASSERT_GT(Distance(text, grey), 30);
    EXPECT_LT(Distance(drawn(0), text), Distance(drawn(0), grey));
    EXPECT_LT(Distance(drawn(1), grey), Distance(drawn(1), text));
}
