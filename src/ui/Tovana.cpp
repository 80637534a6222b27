// The program's entry: the window over the Linux file system and the per-user settings file.
#include <QApplication>
#include <QDesktopServices>
#include <QIcon>
#include <QMessageBox>
#include <QSessionManager>

#include "rename/FileSystemPosix.h"
#include "settings/FileSettingsStore.h"
#include "ui/SelectFolder.h"
#include "ui/uTovana.h"

namespace {

// Message boxes are modal for the whole program, like the window's own boxes.
void ShowMessage(const QString& title, const QString& text, bool isError) {
    QMessageBox box(isError ? QMessageBox::Critical : QMessageBox::NoIcon, title, text,
                    QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setWindowIcon(QIcon(":/Tovana.png"));
    tovana::RaiseOpenFileLimit();

    tovana::FileSystemPosix fileSystem;
    tovana::FileSettingsStore settings;
    TovanaServices services;
    services.fileSystem = &fileSystem;
    services.settings = &settings;
    services.selectFolder = [](const QString& title, const QString& root, QString& folder) {
        return SelectFolder(nullptr, title, root, folder);
    };
    services.showMessage = ShowMessage;
    services.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    services.applicationTitle =
        QString::fromStdString(tovana::ApplicationTitle(QString(argv[0]).toStdString()));

    TfTovana fTovana(services);
    // The end of the desktop session saves the settings as a close does.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &fTovana,
                     [&fTovana](QSessionManager&) { fTovana.FormCloseQuery(); });
    fTovana.show();
    return app.exec();
}
