#include "ui/qt/QtStart.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstdio>
#include <cstring>

#include "TovanaVersion.h"

namespace tovana {

bool AnswerVersion(int argc, char** argv) {
    if (argc != 2 || std::strcmp(argv[1], "--version") != 0) {
        return false;
    }
    std::puts("Tovana " TOVANA_VERSION);
    return true;
}

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
