// The program's one window.
//
// Data flow: the controls hold all state. Loading the settings sets the controls, and their
// change handlers (ePathChange, cReplSpaceClick, cReplUndrClick) keep the start button and the
// option interlocks right. bOKClick reads RenameOptions from the controls, runs the renaming
// engine over the file system, and the run appends each attempt to the result log model that
// lbMessage shows; lbMessageDrawItem paints its rows. Closing saves the controls back.
#pragma once

#include <QDialog>
#include <QPixmap>
#include <array>
#include <functional>
#include <memory>

#include "rename/FileSystem.h"
#include "rename/RenameRun.h"
#include "settings/SettingsStore.h"
#include "ui/FormLogic.h"
#include "ui/ResultLogModel.h"
#include "ui_uTovana.h"

class QStyleOptionViewItem;

// What the window needs from outside; tests put their own in.
struct TovanaServices {
    tovana::FileSystem* fileSystem = nullptr;
    tovana::SettingsStore* settings = nullptr;
    // The folder picker (title, root, folder in and out) -> confirmed.
    std::function<bool(const QString&, const QString&, QString&)> selectFolder;
    // A modal message: title, text, whether it is an error (stop icon) or a notice (no icon).
    std::function<void(const QString&, const QString&, bool)> showMessage;
    std::function<void(const QUrl&)> openUrl;
    QString applicationTitle = "Tovana";
};

class TfTovana : public QDialog, public tovana::FormControls {
    Q_OBJECT

  public:
    explicit TfTovana(TovanaServices services, QWidget* parent = nullptr);
    ~TfTovana() override;

    Ui::TfTovana& controls() { return ui_; }
    ResultLogModel& resultLog() { return log_; }
    const tovana::RunCounters& counters() const { return counters_; }
    const QPixmap& picture(int kind) const { return imList_[static_cast<std::size_t>(kind)]; }

    // FormControls
    std::string Text(tovana::Control control) const override;
    void SetText(tovana::Control control, const std::string& text) override;
    bool Checked(tovana::Control control) const override;
    void SetChecked(tovana::Control control, bool checked) override;
    bool Enabled(tovana::Control control) const override;
    void SetEnabled(tovana::Control control, bool enabled) override;

    // The window's handlers.
    void FormCreate();
    void ePathChange();
    void Button1Click();
    void cReplSpaceClick();
    void cReplUndrClick();
    void bOKClick();
    void lbMessageDrawItem(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const;
    void lAuthorClick();
    void lWebClick();
    void bCancelClick();
    bool FormCloseQuery();

    static QString GetAppVersion();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void LoadSettings();
    void SaveSettings();
    void ScaleToFont();
    void KeepRadioTabStop();
    QWidget* Widget(tovana::Control control) const;
    // Runs a handler; an error that escapes it goes to the standard error box.
    bool Guarded(const std::function<void()>& handler);

    Ui::TfTovana ui_;
    TovanaServices services_;
    ResultLogModel log_;
    std::array<QPixmap, 3> imList_;
    tovana::RunCounters counters_;
};
