#include "ui/qt/SelectFolder.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

QString PickerStartFolder(const QString& root, QString& folder) {
    if (!QFileInfo(folder).isDir()) {
        folder.clear();
    }
    return !folder.isEmpty() ? folder : !root.isEmpty() ? root : QDir::rootPath();
}

QString ChosenFolderPath(const QString& chosen) {
    return QDir::cleanPath(QFileInfo(chosen).absoluteFilePath());
}

bool SelectFolder(QWidget* owner, const QString& title, const QString& root, QString& folder) {
    const QString start = PickerStartFolder(root, folder);
    const QString chosen =
        QFileDialog::getExistingDirectory(owner, title, start, QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty()) {
        return false;
    }
    folder = ChosenFolderPath(chosen);
    return true;
}
