// What the Qt program does before its window: gives Qt's own texts (standard buttons, the
// folder picker, context menus) in Czech, the window's language, whatever the user's locale.
#pragma once

class QCoreApplication;
class QTranslator;

namespace tovana {

// Installs Qt's Czech translations into app, owned by it. Returns the translator, or nullptr
// when Qt's Czech translations are not installed (Qt then speaks English).
QTranslator* InstallQtCzechTexts(QCoreApplication& app);

}  // namespace tovana
