// The Qt program's start: its version answer and Qt's own texts in Czech.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTranslator>
#include <memory>

#include "TovanaVersion.h"
#include "support/RunProgram.h"
#include "ui/qt/QtStart.h"

namespace {

using tovana::test::ProgramResult;
using tovana::test::RunProgram;

TEST(QtStart, QtStandardTextsSpeakCzech) {
    ASSERT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Cancel");
    // Removed again at the end, so that the other tests meet Qt's untranslated texts.
    const std::unique_ptr<QTranslator> translator(
        tovana::InstallQtCzechTexts(*QCoreApplication::instance()));
    ASSERT_NE(translator, nullptr) << "Qt's Czech translations (qt6-translations-l10n) missing";
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Zrušit");
    EXPECT_EQ(QCoreApplication::translate("QWidgetTextControl", "&Copy"), "&Kopírovat");
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Find Directory"), "Najít adresář");
    QCoreApplication::removeTranslator(translator.get());
}

TEST(QtStart, VersionAnswersWithoutAWindow) {
    const ProgramResult r = RunProgram(TOVANA_WINDOW_PATH, {"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("Tovana ") + TOVANA_VERSION + "\n");
    EXPECT_EQ(r.err, "");
}

}  // namespace
