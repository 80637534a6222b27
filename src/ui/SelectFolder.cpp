#include "ui/SelectFolder.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

bool SelectFolder(QWidget* owner, const QString& title, const QString& root, QString& folder) {
    if (!QFileInfo(folder).isDir()) {
        folder.clear();
    }
    const QString start = !folder.isEmpty() ? folder : !root.isEmpty() ? root : QDir::rootPath();
    const QString chosen =
        QFileDialog::getExistingDirectory(owner, title, start, QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty()) {
        return false;
    }
    folder = QDir::cleanPath(chosen);
    return true;
}
