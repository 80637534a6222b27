// A window in memory for the form's tests: controls as values, boxes, rows, the busy state and
// the picker recorded. Changes reach the form's change handlers as a toolkit's signals would.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "form/Form.h"

namespace tovana::test {

class FakeFormView : public FormView {
  public:
    struct PathRow {
        std::string path;
        ResultKind kind;
        bool operator==(const PathRow&) const = default;
    };
    struct ShownBox {
        Box box;
        bool whileBusy;  // the hourglass still showing when the box opened
    };

    Form* form = nullptr;
    std::map<Control, std::string> texts = {{Control::ePath, ""}, {Control::eMask, "*.*"}};
    std::map<Control, bool> checked = {{Control::rNoChangeName, true}};
    std::map<Control, bool> enabled = {{Control::bOK, false}};
    std::optional<Control> focus = Control::ePath;
    std::string caption = "Tovana";
    std::vector<PathRow> rows;
    std::vector<ResultRow> list;  // the same rows as the list keeps them
    std::vector<std::size_t> selected;
    std::string clipboard;
    std::vector<std::string> shownFolders;
    BoxAnswer yesNoAnswer = BoxAnswer::Yes;  // how the user answers a question box
    std::size_t rowLimit = SIZE_MAX;         // rows the list takes before it refuses
    bool busy = false;
    int busyCount = 0;
    std::vector<ShownBox> boxes;
    std::vector<std::string> pickerStartedWith;
    std::optional<std::string> pickerAnswer;
    std::vector<std::string> opened;
    bool closed = false;
    // The answers to Yes/No boxes, in order; Yes when none is left. `onBox` runs as a box opens.
    std::deque<BoxAnswer> answers;
    std::function<void(const Box&)> onBox;
    int posted = 0;  // calls posted from the run's thread

    // The window's event loop while a run goes on: runs the posted calls as they come, until
    // the run has ended. `each` runs after every call.
    void RunToEnd(const std::function<void()>& each = {}) {
        while (form->Running()) {
            PumpOne();
            if (testing::Test::HasFatalFailure()) {
                return;  // nothing came for 30 s: fail rather than wait for ever
            }
            if (each) {
                each();
            }
        }
    }
    // Runs the calls posted so far, without waiting.
    void PumpPending() {
        for (;;) {
            std::function<void()> call;
            {
                const std::lock_guard lock(mutex_);
                if (queue_.empty()) {
                    return;
                }
                call = std::move(queue_.front());
                queue_.pop_front();
            }
            call();
        }
    }
    // Waits for one posted call and runs it.
    void PumpOne() {
        std::function<void()> call;
        {
            std::unique_lock lock(mutex_);
            ASSERT_TRUE(woken_.wait_for(lock, std::chrono::seconds(30), [this] {
                return !queue_.empty();
            })) << "the run posted nothing";
            call = std::move(queue_.front());
            queue_.pop_front();
        }
        call();
    }

    // What a user does: the change, then the handlers the toolkit runs for it.
    void Type(Control control, const std::string& text) { SetText(control, text); }
    void Click(Control control) { SetChecked(control, !Checked(control)); }

    std::string Text(Control control) const override {
        const auto it = texts.find(control);
        return it != texts.end() ? it->second : std::string();
    }
    void SetText(Control control, const std::string& text) override {
        if (Text(control) == text) {
            return;
        }
        texts[control] = text;
        if (control == Control::ePath) {
            form->ePathChange();
        }
    }
    bool Checked(Control control) const override {
        const auto it = checked.find(control);
        return it != checked.end() && it->second;
    }
    void SetChecked(Control control, bool on) override {
        if (Checked(control) == on) {
            return;
        }
        if (on && IsRadio(control)) {
            for (Control radio :
                 {Control::rNoChangeName, Control::rUpperName, Control::rLowerName}) {
                checked[radio] = false;
            }
        }
        checked[control] = on;
        if (control == Control::cReplSpace) {
            form->cReplSpaceClick();
        } else if (control == Control::cReplUndr) {
            form->cReplUndrClick();
        }
    }
    bool Enabled(Control control) const override {
        const auto it = enabled.find(control);
        return it == enabled.end() || it->second;
    }
    void SetEnabled(Control control, bool on) override { enabled[control] = on; }
    void SetFocus(Control control) override { focus = control; }
    std::optional<Control> Focus() const override { return focus; }
    std::string Caption() const override { return caption; }
    void SetCaption(const std::string& text) override { caption = text; }
    bool AppendRow(LogEntry entry, bool preview) override {
        if (rows.size() >= rowLimit) {
            return false;
        }
        rows.push_back({entry.Path, entry.Kind});
        list.push_back({std::move(entry), preview});
        return true;
    }
    std::size_t RowCount() const override { return list.size(); }
    ResultRow Row(std::size_t index) const override { return list.at(index); }
    std::vector<std::size_t> SelectedRows() const override { return selected; }
    void CopyText(const std::string& text) override { clipboard = text; }
    void ShowFolder(const std::string& folder) override { shownFolders.push_back(folder); }
    void SetBusy(bool on) override {
        busy = on;
        busyCount += on ? 1 : 0;
    }
    BoxAnswer ShowBox(const Box& box) override {
        boxes.push_back({box, busy});
        if (onBox) {
            onBox(box);
        }
        if (box.buttons != BoxButtons::YesNo) {
            return BoxAnswer::Ok;
        }
        if (answers.empty()) {
            return yesNoAnswer;
        }
        const BoxAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void PostToUi(std::function<void()> call) override {
        {
            const std::lock_guard lock(mutex_);
            queue_.push_back(std::move(call));
            ++posted;
        }
        woken_.notify_one();
    }
    bool PickFolder(std::string& folder) override {
        pickerStartedWith.push_back(folder);
        if (!pickerAnswer) {
            return false;
        }
        folder = *pickerAnswer;
        return true;
    }
    void OpenAddress(const std::string& address) override { opened.push_back(address); }
    void Close() override { closed = form->FormCloseQuery(); }

  private:
    std::mutex mutex_;
    std::condition_variable woken_;
    std::deque<std::function<void()>> queue_;

    static bool IsRadio(Control control) {
        return control == Control::rNoChangeName || control == Control::rUpperName ||
               control == Control::rLowerName;
    }
};

}  // namespace tovana::test
