#include "ui/qt/uTovana.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QGridLayout>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QSpacerItem>
#include <QStyledItemDelegate>
#include <QUrl>
#include <QValidator>
#include <algorithm>

#include "TovanaVersion.h"
#include "form/StartArguments.h"
#include "names/NameText.h"
#include "ui/qt/SelectFolder.h"

using tovana::Control;

namespace {

constexpr int kFontPixels = 11;  // 8 points at 96 pixels per inch
// How often, at most, a run's new rows go into the list: every 50 ms, and once it holds more
// than 125,000 rows, every millisecond per 2500 rows (see RowsAppended).
constexpr qint64 kShowRowsEveryMs = 50;
constexpr int kRowsPerMs = 2500;

QString Upper(const QString& text) {
    return QString::fromStdString(tovana::UpperText(text.toStdString()));
}

tovana::Rgb RgbOf(const QColor& c) {
    return {c.red(), c.green(), c.blue()};
}

// The file-type field shows and gives back upper case, whatever is typed or pasted, with the
// same upper-casing as the rename rules (ß stays ß).
class UpperCaseValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        input = Upper(input);
        return Acceptable;
    }
};

class RowDelegate : public QStyledItemDelegate {
  public:
    // The window owns the delegate; the list only uses it.
    explicit RowDelegate(TfTovana* form) : QStyledItemDelegate(form), form_(form) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        form_->lbMessageDrawItem(painter, option, index);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        return {option.rect.width(), form_->rowHeight()};
    }

  private:
    const TfTovana* form_;
};

tovana::FormServices FormServicesOf(const TovanaServices& services) {
    tovana::FormServices form;
    form.fileSystem = services.fileSystem;
    form.settings = services.settings;
    form.journals = services.journals;
    form.homeFolder = services.homeFolder;
    form.applicationTitle = services.applicationTitle.toStdString();
    form.version = TfTovana::GetAppVersion();
    return form;
}

}  // namespace

TfTovana::TfTovana(TovanaServices services, QWidget* parent)
    : QDialog(parent), services_(std::move(services)), form_(*this, FormServicesOf(services_)) {
    ui_.setupUi(this);
    imList_ = {QPixmap(":/folder.png"), QPixmap(":/page.png"), QPixmap(":/failed.png")};

    QFont windowFont("DejaVu Sans Condensed");
    windowFont.setPixelSize(qRound(double(kFontPixels) * logicalDpiY() / tovana::kDesignDpi));
    setFont(windowFont);

    PaintBanner();
    ui_.Bevel1->setStyleSheet(
        "QFrame#Bevel1 { border: none; border-top: 2px groove palette(mid); }");

    ui_.eMask->setValidator(new UpperCaseValidator(ui_.eMask));
    ui_.lbMessage->setModel(&log_);
    ui_.lbMessage->setItemDelegate(new RowDelegate(this));
    ui_.lbMessage->setSelectionMode(QAbstractItemView::SingleSelection);
    ui_.lbMessage->setContextMenuPolicy(Qt::CustomContextMenu);
    ui_.lbMessage->installEventFilter(this);
    connect(ui_.lbMessage, &QWidget::customContextMenuRequested, this,
            &TfTovana::lbMessageContextPopup);
    heldRows_.setSingleShot(true);
    connect(&heldRows_, &QTimer::timeout, this, &TfTovana::ShowHeldRows);
    for (QPushButton* button : {ui_.Button1, ui_.bOK, ui_.bCancel}) {
        button->installEventFilter(this);
    }

    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    ScaleToFont();
    move(tovana::kWindowLeft, tovana::kWindowTop);

    connect(ui_.ePath, &QLineEdit::textChanged, this, [this] { form_.ePathChange(); });
    connect(ui_.eMask, &QLineEdit::textChanged, this, [this](const QString& text) {
        // Text set by the program passes no validator; bring it to upper case here.
        if (const QString upper = Upper(text); upper != text) {
            const int cursor = ui_.eMask->cursorPosition();
            ui_.eMask->setText(upper);
            ui_.eMask->setCursorPosition(cursor);
        }
    });
    connect(ui_.Button1, &QPushButton::clicked, this, [this] { form_.Button1Click(); });
    connect(ui_.cReplSpace, &QCheckBox::toggled, this, [this] { form_.cReplSpaceClick(); });
    connect(ui_.cReplUndr, &QCheckBox::toggled, this, [this] { form_.cReplUndrClick(); });
    connect(ui_.bOK, &QPushButton::clicked, this, [this] { form_.bOKClick(); });
    connect(ui_.bCancel, &QPushButton::clicked, this, [this] { form_.bCancelClick(); });
    connect(ui_.lAuthor, &TLinkLabel::clicked, this, [this] { form_.lAuthorClick(); });
    connect(ui_.lWeb, &TLinkLabel::clicked, this, [this] { form_.lWebClick(); });
    for (QRadioButton* radio : {ui_.rNoChangeName, ui_.rUpperName, ui_.rLowerName}) {
        connect(radio, &QRadioButton::toggled, this, &TfTovana::KeepRadioTabStop);
    }
    KeepRadioTabStop();
    ui_.ePath->setFocus();
    // Drops go to the window, the fields' own (which would insert the URL as text) included.
    setAcceptDrops(true);
    ui_.ePath->setAcceptDrops(false);
    ui_.eMask->setAcceptDrops(false);

    form_.FormCreate();
}

// A run still going ends before the window's parts go: its thread calls back into them.
TfTovana::~TfTovana() {
    form_.StopRunAndWait();
}

// The heading must read on the banner whatever the desktop's palette: the caption-text colour
// where the heading's colour reads on it, otherwise the list's background. Likewise the links.
void TfTovana::PaintBanner() {
    const QPalette colours = palette();
    const QColor heading = colours.color(QPalette::Text);
    const tovana::Rgb background =
        tovana::BannerBackground(RgbOf(colours.color(QPalette::HighlightedText)),
                                 RgbOf(colours.color(QPalette::Base)), RgbOf(heading));
    QPalette banner = ui_.Panel1->palette();
    banner.setColor(QPalette::Window, QColor(background.r, background.g, background.b));
    banner.setColor(QPalette::WindowText, heading);
    ui_.Panel1->setPalette(banner);
    ui_.Label4->setPalette(banner);
    // The links in a colour that reads on the window, as in the native window.
    const tovana::Rgb link = tovana::LinkColour(RgbOf(colours.color(QPalette::Link)),
                                                RgbOf(colours.color(QPalette::Window)));
    for (TLinkLabel* label : {ui_.lAuthor, ui_.lWeb}) {
        QPalette linkColours = label->palette();
        linkColours.setColor(QPalette::WindowText, QColor(link.r, link.g, link.b));
        label->setPalette(linkColours);
    }
}

// Positions and sizes follow the font: when "0" is not 13 pixels high, everything is scaled by
// the ratio, except the 16 x 16 pictures. Rows are 16 pixels high, or as high as the list's
// text needs; the list keeps to whole rows.
void TfTovana::ScaleToFont() {
    const int textHeight = QFontMetrics(font()).height();
    if (textHeight != tovana::kDesignTextHeight) {
        const double ratio = double(textHeight) / tovana::kDesignTextHeight;
        const auto scaled = [ratio](int value) { return qRound(value * ratio); };
        for (QWidget* container :
             {static_cast<QWidget*>(this), static_cast<QWidget*>(ui_.Panel1),
              static_cast<QWidget*>(ui_.GroupBox1), static_cast<QWidget*>(ui_.GroupBox2),
              static_cast<QWidget*>(ui_.GroupBox3)}) {
            for (QWidget* child : container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                const QRect g = child->geometry();
                child->setGeometry(scaled(g.x()), scaled(g.y()), scaled(g.width()),
                                   scaled(g.height()));
            }
        }
        resize(scaled(width()), scaled(height()));
    }
    TResultList* list = ui_.lbMessage;
    rowHeight_ = tovana::RowHeight(QFontMetrics(list->font()).height());
    list->setRowHeight(rowHeight_);
    const int frame = 2 * list->frameWidth();
    const int rows = std::max(1, (list->height() - frame) / rowHeight_);
    list->resize(list->width(), rows * rowHeight_ + frame);
    setFixedSize(size());
    // Labels, check boxes and radio buttons grow to their text, as they would in the font the
    // window was designed for; a group box's contents stay inside it.
    for (QLabel* label : findChildren<QLabel*>()) {
        if (qobject_cast<TLinkLabel*>(label) == nullptr &&
            label->sizeHint().width() > label->width()) {
            label->resize(label->sizeHint().width(), label->height());
        }
    }
    for (QAbstractButton* box : findChildren<QAbstractButton*>()) {
        if (qobject_cast<QPushButton*>(box) != nullptr) {
            continue;
        }
        int width = std::max(box->width(), box->sizeHint().width());
        if (const QWidget* group = box->parentWidget(); group != this) {
            width = std::min(width, group->width() - box->x() - 2);
        }
        box->resize(std::max(width, box->width()), box->height());
    }
    for (TLinkLabel* link : {ui_.lAuthor, ui_.lWeb}) {
        QFont underlined = link->font();
        underlined.setUnderline(true);
        link->setFont(underlined);
        link->adjustSize();
    }
}

// The designed place, moved just enough for the whole window to be on the screen.
void TfTovana::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (placed_ || screen() == nullptr) {
        return;
    }
    placed_ = true;
    const QRect available = screen()->availableGeometry();
    // A top-level widget's position is that of its frame's corner.
    const QRect frame = frameGeometry();
    const tovana::ScreenRect at = tovana::PlaceOnScreen(
        {tovana::kWindowLeft, tovana::kWindowTop, frame.width(), frame.height()},
        {available.x(), available.y(), available.width(), available.height()});
    move(at.left, at.top);
}

// Of the three letter-case choices only the selected one is reached with Tab.
void TfTovana::KeepRadioTabStop() {
    for (QRadioButton* radio : {ui_.rNoChangeName, ui_.rUpperName, ui_.rLowerName}) {
        radio->setFocusPolicy(radio->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
    }
}

QWidget* TfTovana::Widget(Control control) const {
    switch (control) {
        case Control::ePath:
            return ui_.ePath;
        case Control::eMask:
            return ui_.eMask;
        case Control::cSubDir:
            return ui_.cSubDir;
        case Control::cRenDir:
            return ui_.cRenDir;
        case Control::cReplSpace:
            return ui_.cReplSpace;
        case Control::cRemSpace:
            return ui_.cRemSpace;
        case Control::cReplUndr:
            return ui_.cReplUndr;
        case Control::cRemUndr:
            return ui_.cRemUndr;
        case Control::cNonAlphaNum:
            return ui_.cNonAlphaNum;
        case Control::rNoChangeName:
            return ui_.rNoChangeName;
        case Control::rUpperName:
            return ui_.rUpperName;
        case Control::rLowerName:
            return ui_.rLowerName;
        case Control::bOK:
            return ui_.bOK;
        case Control::bCancel:
            return ui_.bCancel;
        case Control::Button1:
            return ui_.Button1;
        case Control::lbMessage:
            return ui_.lbMessage;
    }
    return nullptr;
}

std::string TfTovana::Text(Control control) const {
    const auto* edit = qobject_cast<const QLineEdit*>(Widget(control));
    return edit != nullptr ? edit->text().toStdString() : std::string();
}

void TfTovana::SetText(Control control, const std::string& text) {
    auto* edit = qobject_cast<QLineEdit*>(Widget(control));
    const QString value = QString::fromStdString(text);
    if (edit != nullptr && edit->text() != value) {
        edit->setText(value);
    }
}

bool TfTovana::Checked(Control control) const {
    const auto* button = qobject_cast<const QAbstractButton*>(Widget(control));
    return button != nullptr && button->isChecked();
}

void TfTovana::SetChecked(Control control, bool checked) {
    if (auto* button = qobject_cast<QAbstractButton*>(Widget(control))) {
        button->setChecked(checked);
    }
}

bool TfTovana::Enabled(Control control) const {
    return Widget(control)->isEnabled();
}

void TfTovana::SetEnabled(Control control, bool enabled) {
    Widget(control)->setEnabled(enabled);
}

void TfTovana::SetFocus(Control control) {
    Widget(control)->setFocus();
}

std::optional<Control> TfTovana::Focus() const {
    const QWidget* focused = focusWidget();  // the window's, whether it is active or not
    for (int i = 0; i <= static_cast<int>(Control::lbMessage); ++i) {
        if (focused != nullptr && Widget(static_cast<Control>(i)) == focused) {
            return static_cast<Control>(i);
        }
    }
    return std::nullopt;
}

std::string TfTovana::Caption() const {
    return windowTitle().toStdString();
}

void TfTovana::SetCaption(const std::string& caption) {
    setWindowTitle(QString::fromStdString(caption));
}

bool TfTovana::AppendRow(tovana::LogEntry entry, bool preview) {
    log_.Append(std::move(entry), preview);
    return true;
}

std::size_t TfTovana::RowCount() const {
    return static_cast<std::size_t>(log_.rowCount());
}

tovana::ResultRow TfTovana::Row(std::size_t index) const {
    return log_.Row(index);
}

std::vector<std::size_t> TfTovana::SelectedRows() const {
    std::vector<std::size_t> rows;
    for (const QModelIndex& index : ui_.lbMessage->selectionModel()->selectedRows()) {
        rows.push_back(static_cast<std::size_t>(index.row()));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TfTovana::CopyText(const std::string& text) {
    QGuiApplication::clipboard()->setText(QString::fromStdString(text));
}

void TfTovana::ShowFolder(const std::string& folder) {
    // From the path's bytes, percent-encoded: a QString would read them as UTF-8 first and
    // mangle a folder named in an old code page. UTF-8 paths come out as fromLocalFile makes them.
    const QUrl url = QUrl::fromEncoded(
        "file://" + QByteArray::fromStdString(folder).toPercentEncoding("/"), QUrl::StrictMode);
    const bool opened = services_.openUrl ? services_.openUrl(url) : QDesktopServices::openUrl(url);
    // Without a launcher (xdg-utils) nothing at all would happen.
    if (!opened) {
        ShowBox({services_.applicationTitle.toStdString(),
                 "Složku nelze otevřít: není nainstalován správce souborů ani program, který ho "
                 "spouští (xdg-open z balíčku xdg-utils).",
                 tovana::BoxIcon::Stop});
    }
}

void TfTovana::lbMessageContextPopup(const QPoint& at) {
    QMenu menu(this);
    std::vector<std::pair<QAction*, tovana::MenuCommand>> actions;
    for (const tovana::MenuItem& item : form_.lbMessageMenu()) {
        if (item.command == tovana::MenuCommand::Copy) {
            menu.addSeparator();
        }
        QAction* action = menu.addAction(QString::fromStdString(item.text));
        action->setShortcut(QKeySequence(QString::fromStdString(item.shortcut)));
        action->setEnabled(item.enabled);
        actions.emplace_back(action, item.command);
    }
    const QPoint global = ui_.lbMessage->viewport()->mapToGlobal(at);
    QAction* chosen = services_.execMenu ? services_.execMenu(menu, global) : menu.exec(global);
    for (const auto& [action, command] : actions) {
        if (action == chosen) {
            form_.lbMessageCommand(command);
        }
    }
}

// The list's own keys: Shift+F10 and the menu key open its menu at the current row, Ctrl+C
// copies, Ctrl+Z asks to undo.
bool TfTovana::lbMessageKeyDown(const QKeyEvent& key) {
    const auto mods = key.modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier |
                                         Qt::MetaModifier);
    if ((key.key() == Qt::Key_F10 && mods == Qt::ShiftModifier) ||
        (key.key() == Qt::Key_Menu && mods == Qt::NoModifier)) {
        const QModelIndex current = ui_.lbMessage->currentIndex();
        lbMessageContextPopup(current.isValid() ? ui_.lbMessage->visualRect(current).center()
                                                : QPoint(rowHeight_, rowHeight_ / 2));
        return true;
    }
    if (mods == Qt::ControlModifier && key.key() == Qt::Key_C) {
        form_.lbMessageCommand(tovana::MenuCommand::Copy);
        return true;
    }
    if (mods == Qt::ControlModifier && key.key() == Qt::Key_Z) {
        form_.lbMessageCommand(tovana::MenuCommand::Undo);
        return true;
    }
    return false;
}

// During a run the list takes its new rows at a pace: each insertion makes it lay out all its
// rows again (some 40 ns a row), which for a long list costs more than the rows themselves. It
// takes them at most every 50 ms, and a long list less often (100 ms at a quarter of a million
// rows), so that its layouts take no more than about a tenth of the run's time.
// Rows held back meanwhile come with the next ones, or from the timer when no more come.
void TfTovana::RowsAppended() {
    if (!busy_) {
        ShowHeldRows();
        return;
    }
    if (!log_.Waiting() || heldRows_.isActive()) {
        return;
    }
    const qint64 every = std::max<qint64>(kShowRowsEveryMs, log_.rowCount() / kRowsPerMs);
    const qint64 wait = sinceRowsShown_.isValid() ? every - sinceRowsShown_.elapsed() : qint64{0};
    if (wait <= 0) {
        ShowHeldRows();
    } else {
        heldRows_.start(static_cast<int>(wait));
    }
}

void TfTovana::ShowHeldRows() {
    heldRows_.stop();
    log_.Release();
    sinceRowsShown_.start();
    if (busy_) {
        log_.Hold();
    }
}

// While a run goes on the window paints and moves, but its controls take no input: the form
// greys them out, and every key and mouse event for them is swallowed here besides (the list's
// too). Esc and the cancel button ask whether to stop the run, the close button asks through
// the close query.
void TfTovana::SetBusy(bool busy) {
    if (busy == busy_) {
        return;
    }
    busy_ = busy;
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        qApp->installEventFilter(this);
        log_.Hold();
    } else {
        qApp->removeEventFilter(this);
        ShowHeldRows();
        sinceRowsShown_.invalidate();
        QApplication::restoreOverrideCursor();
    }
}

void TfTovana::PostToUi(std::function<void()> call) {
    // Queued to this window's thread; dropped if the window is gone by then.
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

// A message box over the window, modal for the whole program, wide enough for its title.
tovana::BoxAnswer TfTovana::ShowBox(const tovana::Box& box) {
    if (services_.showBox) {
        return services_.showBox(box);
    }
    QString text = QString::fromStdString(box.text);
    text.replace('\r', '\n');
    const bool yesNo = box.buttons == tovana::BoxButtons::YesNo;
    QMessageBox message(
        box.icon == tovana::BoxIcon::Stop ? QMessageBox::Critical : QMessageBox::NoIcon,
        QString::fromStdString(box.title), text,
        yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, this);
    if (yesNo) {
        message.setDefaultButton(box.defaultNo ? QMessageBox::No : QMessageBox::Yes);
    }
    message.setWindowModality(Qt::ApplicationModal);
    if (auto* layout = qobject_cast<QGridLayout*>(message.layout())) {
        const int titleWidth = QFontMetrics(QApplication::font("QMdiSubWindowTitleBar"))
                                   .horizontalAdvance(message.windowTitle()) +
                               120;  // room for the title bar's icon and close button
        layout->addItem(new QSpacerItem(titleWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                        layout->rowCount(), 0, 1, layout->columnCount());
    }
    const int answer = message.exec();
    return answer == QMessageBox::Yes  ? tovana::BoxAnswer::Yes
           : answer == QMessageBox::No ? tovana::BoxAnswer::No
                                       : tovana::BoxAnswer::Ok;
}

bool TfTovana::PickFolder(std::string& folder) {
    QString chosen = QString::fromStdString(folder);
    const bool confirmed = services_.selectFolder
                               ? services_.selectFolder(QString(), QString(), chosen)
                               : SelectFolder(this, QString(), QString(), chosen);
    if (confirmed) {
        folder = chosen.toStdString();
    }
    return confirmed;
}

void TfTovana::OpenAddress(const std::string& address) {
    const QUrl url(QString::fromStdString(address), QUrl::TolerantMode);
    if (services_.openUrl) {
        services_.openUrl(url);
    } else {
        QDesktopServices::openUrl(url);
    }
}

void TfTovana::Close() {
    close();
}

std::string TfTovana::GetAppVersion() {
    return tovana::AppVersionText(TOVANA_VERSION_MAJOR, TOVANA_VERSION_MINOR, TOVANA_VERSION_PATCH,
                                  TOVANA_VERSION_BUILD);
}

void TfTovana::lbMessageDrawItem(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    const bool selected = (option.state & QStyle::State_Selected) != 0;
    const QPalette& colours = option.palette;
    const QColor fill = colours.color(selected ? QPalette::Highlight : QPalette::Base);
    const QRect row = option.rect;
    painter->save();
    painter->setClipRect(row);
    painter->fillRect(row, fill);
    const int kind = index.data(ResultLogModel::KindRole).toInt();
    if (kind >= 0 && kind < static_cast<int>(imList_.size())) {
        painter->drawPixmap(row.left() + 2, row.top(), imList_[static_cast<std::size_t>(kind)]);
    }
    painter->setFont(ui_.lbMessage->font());
    // A preview's rows are greyed: nothing was renamed for them.
    const bool preview = index.data(ResultLogModel::PreviewRole).toBool();
    painter->setPen(selected  ? colours.color(QPalette::HighlightedText)
                    : preview ? colours.color(QPalette::Disabled, QPalette::Text)
                              : colours.color(QPalette::Text));
    painter->drawText(QRect(row.left() + 20, row.top() + 2, QWIDGETSIZE_MAX / 2, rowHeight_ - 2),
                      Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                      index.data(Qt::DisplayRole).toString());
    if ((option.state & QStyle::State_HasFocus) != 0) {
        QStyleOptionFocusRect focus;
        focus.rect = row;
        focus.palette = colours;
        focus.state = option.state;
        focus.backgroundColor = fill;
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, ui_.lbMessage);
    }
    painter->restore();
}

void TfTovana::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() && !busy_ && !form_.Running()) {
        event->acceptProposedAction();
    }
}

void TfTovana::dropEvent(QDropEvent* event) {
    const QMimeData& dropped = *event->mimeData();
    std::vector<std::string> paths;
    if (dropped.hasFormat("text/uri-list")) {
        // Read from the list itself: a name that is not UTF-8 keeps its bytes.
        paths = tovana::PathsFromUriList(dropped.data("text/uri-list").toStdString());
    } else {
        for (const QUrl& url : dropped.urls()) {
            paths.push_back(url.isLocalFile() ? QFile::encodeName(url.toLocalFile()).toStdString()
                                              : url.toString().toStdString());
        }
    }
    event->acceptProposedAction();
    form_.PathsDropped(paths);
}

void TfTovana::closeEvent(QCloseEvent* event) {
    if (!form_.FormCloseQuery()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TfTovana::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F5 && event->modifiers() == Qt::NoModifier) {
        form_.lbMessageCommand(tovana::MenuCommand::Preview);
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        if (event->modifiers() == Qt::NoModifier) {
            ui_.bCancel->click();
        }
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TfTovana::SwallowedWhileBusy(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
            break;
        default:
            return false;
    }
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != this) {
        return false;  // a box over the window, such as the question whether to stop
    }
    const bool esc = event->type() == QEvent::KeyPress &&
                     static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape;
    if (esc) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::NoModifier && !key->isAutoRepeat()) {
            // Asked once the key's event is done, not inside it.
            QMetaObject::invokeMethod(
                this, [this] { form_.AskToStopRun(); }, Qt::QueuedConnection);
        }
        return true;
    }
    // The cancel button stays live: clicked, or pressed with Space, it asks too.
    return widget != ui_.bCancel;
}

// Enter on a push button clicks it, but not while Shift, Ctrl or Alt is held.
bool TfTovana::eventFilter(QObject* watched, QEvent* event) {
    if (busy_ && SwallowedWhileBusy(watched, event)) {
        return true;
    }
    if (watched == ui_.lbMessage && event->type() == QEvent::KeyPress) {
        return lbMessageKeyDown(*static_cast<QKeyEvent*>(event)) ||
               QDialog::eventFilter(watched, event);
    }
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        const auto held = key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier |
                                              Qt::AltModifier | Qt::MetaModifier);
        if (enter && held != Qt::NoModifier) {
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
