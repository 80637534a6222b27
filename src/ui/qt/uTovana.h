// The program's one window on Qt: widgets, drawing, keys and the platform's services. What the
// window does lives in tovana::Form; this view hands it the user's actions and does what it
// asks (see form/FormView.h).
//
// Data flow: widget signals -> Form handlers -> FormView calls back into the widgets; a run's
// rows go into the result log model that lbMessage shows, and lbMessageDrawItem paints them.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QPixmap>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>

#include "form/Form.h"
#include "ui/qt/ResultLogModel.h"
#include "ui_uTovana.h"

class QAction;
class QMenu;
class QStyleOptionViewItem;

// What the window needs from outside; tests put their own in. Empty functions mean the real
// thing: the folder chooser, a message box over the window, the desktop's URL handler.
struct TovanaServices {
    tovana::FileSystem* fileSystem = nullptr;
    tovana::SettingsStore* settings = nullptr;
    tovana::JournalStore* journals = nullptr;  // none: runs are not journaled
    std::string homeFolder;                    // a run there asks first
    // The folder picker (title, root, folder in and out) -> confirmed.
    std::function<bool(const QString&, const QString&, QString&)> selectFolder;
    std::function<tovana::BoxAnswer(const tovana::Box&)> showBox;
    std::function<bool(const QUrl&)> openUrl;  // false: nothing could open it
    // The result list's context menu at a global position -> the chosen action or null.
    std::function<QAction*(QMenu&, const QPoint&)> execMenu;
    QString applicationTitle = "Tovana";
};

class TfTovana : public QDialog, public tovana::FormView {
    Q_OBJECT

  public:
    explicit TfTovana(TovanaServices services, QWidget* parent = nullptr);
    ~TfTovana() override;

    tovana::Form& form() { return form_; }
    Ui::TfTovana& controls() { return ui_; }
    ResultLogModel& resultLog() { return log_; }
    const QPixmap& picture(int kind) const { return imList_[static_cast<std::size_t>(kind)]; }
    int rowHeight() const { return rowHeight_; }

    // FormView
    std::string Text(tovana::Control control) const override;
    void SetText(tovana::Control control, const std::string& text) override;
    bool Checked(tovana::Control control) const override;
    void SetChecked(tovana::Control control, bool checked) override;
    bool Enabled(tovana::Control control) const override;
    void SetEnabled(tovana::Control control, bool enabled) override;
    void SetFocus(tovana::Control control) override;
    std::optional<tovana::Control> Focus() const override;
    std::string Caption() const override;
    void SetCaption(const std::string& caption) override;
    bool AppendRow(tovana::LogEntry entry, bool preview) override;
    void RowsAppended() override;
    std::size_t RowCount() const override;
    tovana::ResultRow Row(std::size_t index) const override;
    std::vector<std::size_t> SelectedRows() const override;
    void CopyText(const std::string& text) override;
    void ShowFolder(const std::string& folder) override;
    void SetBusy(bool busy) override;
    void PostToUi(std::function<void()> call) override;
    tovana::BoxAnswer ShowBox(const tovana::Box& box) override;
    bool PickFolder(std::string& folder) override;
    void OpenAddress(const std::string& address) override;
    void Close() override;

    void lbMessageDrawItem(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const;

    static std::string GetAppVersion();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // A folder dropped anywhere on the window fills the folder field.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void ScaleToFont();
    void PaintBanner();
    void KeepRadioTabStop();
    // The result list's context menu, at `at` in the list's viewport.
    void lbMessageContextPopup(const QPoint& at);
    bool lbMessageKeyDown(const QKeyEvent& key);
    bool SwallowedWhileBusy(QObject* watched, QEvent* event);
    // Shows the rows the list holds back.
    void ShowHeldRows();
    QWidget* Widget(tovana::Control control) const;

    Ui::TfTovana ui_;
    TovanaServices services_;
    tovana::Form form_;
    ResultLogModel log_;
    std::array<QPixmap, 3> imList_;
    int rowHeight_ = tovana::kRowHeight;
    bool placed_ = false;
    bool busy_ = false;
    // During a run: when the list last took rows, and the timer that shows the rows held back
    // since when no more come.
    QElapsedTimer sinceRowsShown_;
    QTimer heldRows_;
};
