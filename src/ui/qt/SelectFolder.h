// The folder picker: a modal chooser that takes only real folders.
#pragma once

#include <QString>

class QWidget;

// Shows the chooser titled `title`, starting at `folder` when that names an existing folder
// (otherwise `folder` is cleared at once and the chooser starts at `root`, or at the top of the
// tree when root is empty). On confirmation `folder` becomes the chosen folder's full path,
// without a trailing "/" except for the root, and the answer is true.
bool SelectFolder(QWidget* owner, const QString& title, const QString& root, QString& folder);

// Where the chooser opens; clears `folder` when it names no existing folder.
QString PickerStartFolder(const QString& root, QString& folder);

// A chosen folder as the field shows it: absolute, without a trailing "/" except for the root.
QString ChosenFolderPath(const QString& chosen);
