// The Qt window over a real temporary tree, an in-memory settings store and recorded message
// boxes.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "rename/FileSystemPosix.h"
#include "rename/SlowFileSystem.h"
#include "support/MemorySettingsStore.h"
#include "support/TempTree.h"
#include "ui/qt/uTovana.h"

namespace tovana::test {

struct ShownMessage {
    QString title;
    QString text;
    bool isError;
};

class WindowFixture : public testing::Test {
  protected:
    // Creates the window as the program does, loading from `settings`.
    TfTovana& Open() {
        TovanaServices services;
        services.fileSystem = slow ? static_cast<FileSystem*>(slow.get()) : &fileSystem;
        services.settings = &settings;
        services.journals = journals;
        services.selectFolder = [this](const QString&, const QString&, QString& folder) {
            pickerStartedWith.push_back(folder);
            if (!pickerAnswer.isEmpty()) {
                folder = pickerAnswer;
                return true;
            }
            return false;
        };
        services.showBox = [this](const tovana::Box& box) {
            messages.push_back({QString::fromStdString(box.title), QString::fromStdString(box.text),
                                box.icon == tovana::BoxIcon::Stop});
            if (box.buttons != tovana::BoxButtons::YesNo) {
                return tovana::BoxAnswer::Ok;
            }
            const tovana::BoxAnswer answer =
                answers.empty() ? tovana::BoxAnswer::Yes : answers.front();
            if (!answers.empty()) {
                answers.pop_front();
            }
            return answer;
        };
        services.openUrl = [this](const QUrl& url) {
            urls.push_back(url);
            return urlsOpen;
        };
        services.execMenu = [this](QMenu& menu, const QPoint&) -> QAction* {
            QStringList items;
            QAction* chosen = nullptr;
            for (QAction* action : menu.actions()) {
                if (action->isSeparator()) {
                    continue;
                }
                items.push_back(action->text() + (action->isEnabled() ? "" : " (off)"));
                if (action->text() == menuChoice) {
                    chosen = action;
                }
            }
            menus.push_back(items);
            return chosen;
        };
        window = std::make_unique<TfTovana>(services);
        return *window;
    }

    // Shows the window and makes it the active one, so that focus and keys work.
    void ShowActive() {
        window->show();
        QApplication::setActiveWindow(window.get());
        window->activateWindow();
        QApplication::processEvents();
    }

    Ui::TfTovana& ui() { return window->controls(); }

    // The window's event loop until its run has ended (`each` after every round of events).
    void WaitForRun(const std::function<void()>& each = {}) {
        QElapsedTimer timer;
        timer.start();
        while (window->form().Running() && timer.elapsed() < 60000) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
            if (each) {
                each();
            }
        }
        ASSERT_FALSE(window->form().Running()) << "the run did not end";
    }

    FileSystemPosix fileSystem;
    std::unique_ptr<SlowFileSystem> slow;      // set before Open for a run that takes a while
    tovana::JournalStore* journals = nullptr;  // set before Open for runs that can be undone
    std::deque<tovana::BoxAnswer> answers;     // to Yes/No boxes; Yes when none is left
    MemorySettingsStore settings;
    TempTree tree;
    std::unique_ptr<TfTovana> window;
    std::vector<ShownMessage> messages;
    std::vector<QString> pickerStartedWith;
    QString pickerAnswer;
    std::vector<QUrl> urls;
    bool urlsOpen = true;            // what opening one of them reports
    std::vector<QStringList> menus;  // each context menu shown: its items, greyed ones marked
    QString menuChoice;              // the item to pick from the next menus
};

}  // namespace tovana::test
