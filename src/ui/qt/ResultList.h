// The result list: a list view that also shows the focus while it has no current row, as the
// native list does, by framing its first row.
#pragma once

#include <QListView>

class TResultList : public QListView {
    Q_OBJECT

  public:
    using QListView::QListView;
    void setRowHeight(int height) { rowHeight_ = height; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int rowHeight_ = 16;
};
