// The program's entry: the window over the platform's file system and settings store.
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QIcon>
#include <QSessionManager>

#include "journal/JournalStore.h"
#include "rename/Platform.h"
#include "settings/PlatformSettings.h"
#include "ui/qt/QtStart.h"
#include "ui/qt/SelectFolder.h"
#include "ui/qt/uTovana.h"

int main(int argc, char** argv) {
    if (tovana::AnswerVersion(argc, argv)) {
        return 0;
    }
    QApplication app(argc, argv);
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
    return app.exec();
}
