#include "ui/qt/QtStart.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace tovana {

QTranslator* InstallQtCzechTexts(QCoreApplication& app) {
    auto* translator = new QTranslator(&app);
    // "qt" brings the translations of every Qt module the program uses, "qtbase" among them.
    if (!translator->load(QLocale(QLocale::Czech, QLocale::CzechRepublic), "qt", "_",
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return nullptr;
    }
    return translator;
}

}  // namespace tovana
