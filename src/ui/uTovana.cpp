#include "ui/uTovana.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QUrl>
#include <QValidator>

#include "TovanaVersion.h"
#include "rename/NameText.h"
#include "settings/Settings.h"
#include "ui/SelectFolder.h"

using tovana::Control;

namespace {

// The window is laid out for a font whose "0" stands 13 pixels high at 96 pixels per inch.
constexpr int kDesignTextHeight = 13;
constexpr int kDesignDpi = 96;
constexpr int kFontPixels = 11;  // 8 points at 96 pixels per inch
constexpr int kRowHeight = 16;

const char kSupportMail[] = "podpora@korvel.example";
const char kWebHost[] = "www.korvel.example";

QString Upper(const QString& text) {
    return QString::fromStdString(tovana::UpperText(text.toStdString()));
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
        return {option.rect.width(), kRowHeight};
    }

  private:
    const TfTovana* form_;
};

}  // namespace

TfTovana::TfTovana(TovanaServices services, QWidget* parent)
    : QDialog(parent), services_(std::move(services)) {
    ui_.setupUi(this);
    imList_ = {QPixmap(":/folder.png"), QPixmap(":/page.png"), QPixmap(":/failed.png")};

    QFont windowFont("DejaVu Sans Condensed");
    windowFont.setPixelSize(qRound(double(kFontPixels) * logicalDpiY() / kDesignDpi));
    setFont(windowFont);

    QPalette banner = ui_.Panel1->palette();
    banner.setColor(QPalette::Window, banner.color(QPalette::HighlightedText));
    ui_.Panel1->setPalette(banner);
    ui_.Bevel1->setStyleSheet(
        "QFrame#Bevel1 { border: none; border-top: 2px groove palette(mid); }");

    ui_.eMask->setValidator(new UpperCaseValidator(ui_.eMask));
    ui_.lbMessage->setModel(&log_);
    ui_.lbMessage->setItemDelegate(new RowDelegate(this));
    ui_.lbMessage->setSelectionMode(QAbstractItemView::SingleSelection);
    for (QPushButton* button : {ui_.Button1, ui_.bOK, ui_.bCancel}) {
        button->installEventFilter(this);
    }

    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    ScaleToFont();
    move(871, 227);

    connect(ui_.ePath, &QLineEdit::textChanged, this, &TfTovana::ePathChange);
    connect(ui_.eMask, &QLineEdit::textChanged, this, [this](const QString& text) {
        // Text set by the program passes no validator; bring it to upper case here.
        if (const QString upper = Upper(text); upper != text) {
            const int cursor = ui_.eMask->cursorPosition();
            ui_.eMask->setText(upper);
            ui_.eMask->setCursorPosition(cursor);
        }
    });
    connect(ui_.Button1, &QPushButton::clicked, this,
            [this] { Guarded([this] { Button1Click(); }); });
    connect(ui_.cReplSpace, &QCheckBox::toggled, this, &TfTovana::cReplSpaceClick);
    connect(ui_.cReplUndr, &QCheckBox::toggled, this, &TfTovana::cReplUndrClick);
    connect(ui_.bOK, &QPushButton::clicked, this, [this] { Guarded([this] { bOKClick(); }); });
    connect(ui_.bCancel, &QPushButton::clicked, this, &TfTovana::bCancelClick);
    connect(ui_.lAuthor, &TLinkLabel::clicked, this, &TfTovana::lAuthorClick);
    connect(ui_.lWeb, &TLinkLabel::clicked, this, &TfTovana::lWebClick);
    for (QRadioButton* radio : {ui_.rNoChangeName, ui_.rUpperName, ui_.rLowerName}) {
        connect(radio, &QRadioButton::toggled, this, &TfTovana::KeepRadioTabStop);
    }
    KeepRadioTabStop();
    ui_.ePath->setFocus();

    Guarded([this] { FormCreate(); });
}

TfTovana::~TfTovana() = default;

// Positions and sizes follow the font: when "0" is not 13 pixels high, everything is scaled by
// the ratio, except the list's rows and the 16 x 16 pictures. The list keeps to whole rows.
void TfTovana::ScaleToFont() {
    const int textHeight = QFontMetrics(font()).height();
    if (textHeight != kDesignTextHeight) {
        const double ratio = double(textHeight) / kDesignTextHeight;
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
    QListView* list = ui_.lbMessage;
    const int frame = 2 * list->frameWidth();
    const int rows = std::max(1, (list->height() - frame) / kRowHeight);
    list->resize(list->width(), rows * kRowHeight + frame);
    setFixedSize(size());
    // Labels grow to their text, as they would in the font the window was designed for.
    for (QLabel* label : findChildren<QLabel*>()) {
        if (qobject_cast<TLinkLabel*>(label) == nullptr &&
            label->sizeHint().width() > label->width()) {
            label->resize(label->sizeHint().width(), label->height());
        }
    }
    for (TLinkLabel* link : {ui_.lAuthor, ui_.lWeb}) {
        QFont underlined = link->font();
        underlined.setUnderline(true);
        link->setFont(underlined);
        link->adjustSize();
    }
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

bool TfTovana::Guarded(const std::function<void()>& handler) {
    try {
        handler();
        return true;
    } catch (const std::exception& error) {
        services_.showMessage(services_.applicationTitle,
                              QString::fromStdString(tovana::ErrorBoxText(error.what())), true);
    }
    return false;
}

QString TfTovana::GetAppVersion() {
    return QString::fromStdString(tovana::AppVersionText(
        TOVANA_VERSION_MAJOR, TOVANA_VERSION_MINOR, TOVANA_VERSION_PATCH, TOVANA_VERSION_BUILD));
}

void TfTovana::FormCreate() {
    setWindowTitle(windowTitle() + "  " + GetAppVersion());
    LoadSettings();
}

void TfTovana::LoadSettings() {
    if (services_.settings != nullptr) {
        tovana::LoadSettings(*services_.settings, *this);
    }
}

void TfTovana::SaveSettings() {
    if (services_.settings != nullptr) {
        tovana::SaveSettings(*services_.settings, *this);
    }
}

void TfTovana::ePathChange() {
    tovana::PathChanged(*this);
}

void TfTovana::cReplSpaceClick() {
    tovana::ReplSpaceChanged(*this);
}

void TfTovana::cReplUndrClick() {
    tovana::ReplUndrChanged(*this);
}

void TfTovana::Button1Click() {
    QString folder = ui_.ePath->text();
    if (services_.selectFolder && services_.selectFolder(QString(), QString(), folder)) {
        ui_.ePath->setText(folder);
    }
    ui_.cSubDir->setFocus();
}

void TfTovana::bOKClick() {
    class LogSink : public tovana::RunSink {
      public:
        explicit LogSink(ResultLogModel& log) : log_(log) {}
        void Append(const tovana::LogEntry& entry) override {
            log_.Append(QString::fromStdString(entry.Path), entry.Kind);
        }

      private:
        ResultLogModel& log_;
    };

    const tovana::RenameOptions options = tovana::OptionsFromControls(*this);
    LogSink sink(log_);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        tovana::Run(options, *services_.fileSystem, sink, counters_);
    } catch (...) {
        QApplication::restoreOverrideCursor();
        throw;
    }
    QApplication::restoreOverrideCursor();
    QString summary = QString::fromStdString(tovana::SummaryText(counters_));
    summary.replace('\r', '\n');
    services_.showMessage(QStringLiteral("Výsledek přejmenování"), summary, false);
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
    painter->setPen(colours.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(QRect(row.left() + 20, row.top() + 2, QWIDGETSIZE_MAX / 2, kRowHeight - 2),
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

void TfTovana::lAuthorClick() {
    if (services_.openUrl) {
        services_.openUrl(
            QUrl(QString("mailto:%1?Subject=Pripominky%20k%20Tovana").arg(kSupportMail),
                 QUrl::TolerantMode));
    }
}

void TfTovana::lWebClick() {
    if (services_.openUrl) {
        services_.openUrl(QUrl(QString("http://%1").arg(kWebHost)));
    }
}

void TfTovana::bCancelClick() {
    close();
}

bool TfTovana::FormCloseQuery() {
    return Guarded([this] { SaveSettings(); });
}

void TfTovana::closeEvent(QCloseEvent* event) {
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TfTovana::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        if (event->modifiers() == Qt::NoModifier) {
            ui_.bCancel->click();
        }
        return;
    }
    QDialog::keyPressEvent(event);
}

// Enter on a push button clicks it, but not while Shift, Ctrl or Alt is held.
bool TfTovana::eventFilter(QObject* watched, QEvent* event) {
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
