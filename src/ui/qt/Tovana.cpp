// The program's entry: the window over the platform's file system and settings store.
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QIcon>
#include <QSessionManager>
#include <cstdio>
#include <filesystem>

#include "form/StartArguments.h"
#include "journal/JournalStore.h"
#include "rename/Platform.h"
#include "settings/PlatformSettings.h"
#include "ui/qt/QtStart.h"
#include "ui/qt/SelectFolder.h"
#include "ui/qt/uTovana.h"

namespace {

std::string CurrentFolder() {
    std::error_code error;
    return std::filesystem::current_path(error).native();
}

}  // namespace

int main(int argc, char** argv) {
    // Answered before Qt starts: --help, --version and a wrong command line need no display.
    const tovana::StartRequest start = tovana::ReadStartArguments({argv + 1, argv + argc});
    switch (start.kind) {
        case tovana::StartRequest::Kind::Help:
            std::fputs(tovana::StartHelpText().c_str(), stdout);
            return 0;
        case tovana::StartRequest::Kind::Version:
            std::fputs(tovana::StartVersionText().c_str(), stdout);
            return 0;
        case tovana::StartRequest::Kind::Misuse:
            std::fputs(tovana::StartMisuseText(start.message).c_str(), stderr);
            return 2;
        case tovana::StartRequest::Kind::Window:
            break;
    }
    // The command line is the program's own: Qt reads none of it (its settings come from
    // the environment, QT_QPA_PLATFORM, QT_STYLE_OVERRIDE...).
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    tovana::InstallQtCzechTexts(app);
    app.setWindowIcon(QIcon(":/Tovana.png"));
    tovana::RaiseOpenFileLimit();

    const std::unique_ptr<tovana::FileSystem> fileSystem = tovana::MakeFileSystem();
    const std::unique_ptr<tovana::SettingsStore> settings = tovana::MakeSettingsStore();
    const std::unique_ptr<tovana::JournalStore> journals = tovana::JournalStore::ForCurrentUser();
    TovanaServices services;
    services.fileSystem = fileSystem.get();
    services.settings = settings.get();
    services.journals = journals.get();
    services.homeFolder = QDir::homePath().toStdString();
    services.selectFolder = [](const QString& title, const QString& root, QString& folder) {
        return SelectFolder(nullptr, title, root, folder);
    };
    services.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    services.applicationTitle =
        QString::fromStdString(tovana::ApplicationTitle(QString(argv[0]).toStdString()));

    TfTovana fTovana(services);
    // The end of the desktop session stops a run (after the rename under way) and waits for it,
    // then saves the settings as a close does.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &fTovana,
                     [&fTovana](QSessionManager&) {
                         fTovana.form().StopRunAndWait();
                         fTovana.form().FormCloseQuery();
                     });
    fTovana.show();
    // The given folder fills the field once the window stands, so that its error box, if any,
    // opens over it.
    fTovana.form().StartIn(tovana::AbsoluteStartPath(start.folder, CurrentFolder()));
    return app.exec();
}
