#include "ui/qt/ResultList.h"

#include <QPainter>
#include <QStyleOptionFocusRect>

void TResultList::paintEvent(QPaintEvent* event) {
    QListView::paintEvent(event);
    if (!hasFocus() || currentIndex().isValid()) {
        return;
    }
    QPainter painter(viewport());
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    // The native list shows its focus however it got it, not only after a Tab.
    focus.state |= QStyle::State_KeyboardFocusChange;
    focus.rect = QRect(0, 0, viewport()->width(), rowHeight_);
    focus.backgroundColor = palette().color(QPalette::Base);
    painter.fillRect(focus.rect, focus.backgroundColor);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
}
